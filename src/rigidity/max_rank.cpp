#include "rigidity/max_rank.hpp"

namespace korvale {

std::optional<std::uint64_t> max_independent_edges(std::uint64_t n, std::uint64_t d) {
    using Wide = unsigned __int128;  // both formulas stay below 2^128
    const Wide wn = n, wd = d;
    const Wide value = n >= d ? wn * wd - wd * (wd + 1) / 2 : wn * (wn - (n > 0 ? 1 : 0)) / 2;
    if (value > UINT64_MAX) return std::nullopt;
    return static_cast<std::uint64_t>(value);
}

}  // namespace korvale

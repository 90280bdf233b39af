#pragma once

#include <cstdint>
#include <optional>

namespace korvale {

// The largest rank of the rigidity matrix of n nodes in d dimensions:
// n*d - d(d+1)/2 when n >= d, and n(n-1)/2 when n < d (fewer nodes than
// dimensions span a simplex, so every bar is independent). Computed exactly;
// empty when the value does not fit in 64 bits.
std::optional<std::uint64_t> max_independent_edges(std::uint64_t n, std::uint64_t d);

}  // namespace korvale

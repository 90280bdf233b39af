#include "graph/edge_list.hpp"

#include <string>
#include <type_traits>

namespace korvale {

namespace {

template <class Id>
EdgeList check(std::size_t n, const Id* pairs, std::size_t m) {
    EdgeList edges(checked_capacity(m, sizeof(Edge)));
    auto inside = [n](Id x) {
        if constexpr (std::is_signed_v<Id>) {
            if (x < 0) return false;
        }
        return static_cast<std::uint64_t>(x) < n;
    };
    for (std::size_t e = 0; e < m; ++e) {
        const Id a = pairs[2 * e], b = pairs[2 * e + 1];
        auto row = [&] {
            return "edge " + std::to_string(e) + " = (" + std::to_string(a) + ", " + std::to_string(b) + ")";
        };
        if (!inside(a) || !inside(b)) {
            const std::string range = n == 0 ? "the empty graph" : "0.." + std::to_string(n - 1);
            throw InputError(row() + " has a node outside " + range);
        }
        if (a == b) throw InputError(row() + " is a loop");
        edges[e] = {static_cast<std::size_t>(a), static_cast<std::size_t>(b)};
    }
    return edges;
}

}  // namespace

EdgeList checked_edges(std::size_t n, const std::int64_t* pairs, std::size_t m) { return check(n, pairs, m); }
EdgeList checked_edges(std::size_t n, const std::uint64_t* pairs, std::size_t m) { return check(n, pairs, m); }

}  // namespace korvale

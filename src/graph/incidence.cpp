#include "graph/incidence.hpp"

namespace korvale {

Incidence::Incidence(std::size_t n, std::span<const Edge> edges) : start(n + 1, 0), items(2 * edges.size()) {
    for (const Edge& e : edges) {
        ++start[e.i + 1];
        ++start[e.j + 1];
    }
    for (std::size_t x = 0; x < n; ++x) start[x + 1] += start[x];
    std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
    for (std::size_t e = 0; e < edges.size(); ++e) {
        const auto id = static_cast<std::uint32_t>(e);
        items[next[edges[e].i]++] = {static_cast<std::uint32_t>(edges[e].j), id};
        items[next[edges[e].j]++] = {static_cast<std::uint32_t>(edges[e].i), id};
    }
}

}  // namespace korvale

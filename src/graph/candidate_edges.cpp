#include "graph/candidate_edges.hpp"

#include "core/interrupt.hpp"

namespace korvale {

std::size_t edge_count(std::size_t n) {
    if (n < 2) return 0;
    // Halve the even factor first so the product only overflows when the
    // count itself does.
    std::size_t a = n, b = n - 1;
    if (a % 2 == 0) a /= 2; else b /= 2;
    checked_capacity(a, b, sizeof(Edge));
    return a * b;
}

EdgeList candidate_edges(std::size_t n) {
    EdgeList edges;
    edges.reserve(edge_count(n));
    InterruptPoll poll;  // millions of edges take a while, mostly page faults
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) edges.push_back({i, j});
        poll(8 * (n - i));
    }
    return edges;
}

}  // namespace korvale

#include "graph/candidate_edges.hpp"

#include "core/failure.hpp"

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

}  // namespace korvale

// Generic rigidity of a graph in d dimensions, decided exactly: the
// rigidity matrix at integer coordinates drawn uniformly modulo the prime
// P = 2^61 - 1, each edge's row tested for independence from the rows of the
// edges accepted before it by exact elimination modulo P.
//
// The answer can differ from the generic one (in characteristic P) only if
// the coordinates are a root of one fixed non-zero minor of the generic
// independent rows (a polynomial of degree r, the generic rank): by
// Schwartz-Zippel that happens with probability at most
// r / P <= min(m, max_rank) / P, the bound reported. The argument, and how
// characteristic P relates to the reals, is in docs/korvale_graphs.md.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/records.hpp"

namespace korvale {

struct GenericRankResult {
    Labels labels;  // 1 independent, in edge order
    std::uint64_t rank = 0;
    std::uint64_t max_rank = 0;  // n d - d(d+1)/2 for n >= d, n(n-1)/2 otherwise
    double error_bound = 0.0;    // probability bound that any label differs from the generic answer
};

// Node ids must lie in 0..n-1 and no edge may be a loop (graph/edge_list.hpp);
// d >= 1. Coordinates come from Engine::stream(seed, 0), node by node.
GenericRankResult generic_rank(std::size_t n, const EdgeList& edges, std::size_t d, std::uint64_t seed);

}  // namespace korvale

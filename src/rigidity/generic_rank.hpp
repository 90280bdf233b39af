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

#include <vector>

#include "core/memory.hpp"
#include "core/records.hpp"
#include "random/engine.hpp"
#include "rank/modular_rank.hpp"

namespace korvale {

struct GenericRankResult {
    Labels labels;  // 1 independent, in edge order
    std::uint64_t rank = 0;
    std::uint64_t max_rank = 0;  // n d - d(d+1)/2 for n >= d, n(n-1)/2 otherwise
    double error_bound = 0.0;    // probability bound that any label differs from the generic answer
    Labels overconstrained;      // with circuits: 1 when the edge lies in a circuit
};

// Node ids must lie in 0..n-1 and no edge may be a loop (graph/edge_list.hpp);
// d >= 1. Coordinates come from Engine::stream(seed, 0), node by node.
//
// With circuits, also the overconstrained edges: a dependent edge and the
// accepted edges with a non-zero coefficient in its expression (its
// fundamental circuit) lie in a circuit, and an accepted edge lies in one
// only if it is in such a fundamental circuit. This keeps r^2 coefficients,
// so it is meant for small graphs; a coefficient that is non-zero
// generically vanishes at the point with probability at most r / P, and the
// bound reported then covers every pair (dependent edge, accepted edge).
GenericRankResult generic_rank(std::size_t n, const EdgeList& edges, std::size_t d, std::uint64_t seed,
                               bool circuits = false);

// The point: n d integer coordinates uniform in [0, P), node by node.
std::vector<std::uint64_t> modular_point(std::size_t n, std::size_t d, Engine& engine);

// Edge e's rigidity-matrix row at the point, modulo P: p_i - p_j in node
// i's d columns, p_j - p_i in node j's (zeros left out), written into row.
void modular_row(const std::vector<std::uint64_t>& point, std::size_t d, const Edge& e,
                 std::vector<ModularEntry>& row);

// What generic_rank holds beside its edge list before the basis grows (the
// basis is checked as it grows): the point, the tracker's fixed state, the
// labels.
Bytes generic_rank_bytes(std::size_t n, std::size_t m, std::size_t d, bool circuits = false);

}  // namespace korvale

// Runs of the (k, l) pebble game over an edge list: the independence test
// of the (k, l)-sparsity matroid, where a set of edges is independent when
// every subset spanning n' nodes has at most k n' - l edges. (2, 3) is
// generic rigidity in the plane, (6, 6) body-bar rigidity in space, (k, k)
// k edge-disjoint spanning forests.
//
// Beyond the labels the game answers two order-free questions:
// - components: the maximal tight subgraphs (|E| = k n' - l) of the
//   accepted edges; every edge, accepted or not, whose endpoints both lie in
//   one belongs to it (components share no edge, for l < 2k). An edge in no
//   tight subgraph (possible for l < 2k - 1) has none. For l = 0, where
//   disjoint tight sets are tight together, components are the maximal
//   tight sets connected by accepted edges.
// - overconstrained edges: those that lie in a circuit, i.e. removing them
//   leaves the rank unchanged. A rejected edge (u, v) closes a circuit with
//   the accepted edges of the smallest tight set holding u and v, which is
//   exactly the set of nodes the failed search reached; an accepted edge is
//   in some circuit exactly when it is in such a fundamental circuit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/memory.hpp"
#include "core/records.hpp"

namespace korvale {

struct KLGameResult {
    Labels labels;                        // 1 independent, 0 redundant, in edge order
    std::uint64_t rank = 0;               // independent edges
    std::uint64_t max_rank = 0;           // max(0, k n - l)
    std::vector<std::int64_t> components; // per edge; ids by first appearance, -1 for none
    std::uint64_t n_components = 0;
    std::uint64_t largest_component = 0;  // nodes of the largest component
    Labels overconstrained;               // 1 when the edge lies in a circuit
};

// Checks k and l (1 <= k, 0 <= l < 2k); throws InputError otherwise.
void check_sparsity_counts(std::uint64_t k, std::uint64_t l);

// What the game and the percolation sweep hold beside their edge list, for
// n nodes, m edges and k pebbles per node: checked before they start. The
// figures are the state's own (see docs/korvale_graphs.md, Cost).
Bytes kl_game_bytes(std::size_t n, std::size_t m, std::uint32_t k);
Bytes kl_percolation_bytes(std::size_t n, std::size_t m, std::uint32_t k);

// The game over the edges in their order; node ids must lie in 0..n-1 and
// no edge may be a loop (see graph/edge_list.hpp).
KLGameResult kl_pebble_game(std::size_t n, const EdgeList& edges, std::uint32_t k, std::uint32_t l);

// The same game, edge by edge, recording after each edge the rank and the
// node count of the largest component (a percolation curve in one pass).
// Components only grow or merge, and only the one holding a newly accepted
// edge can change, so one local search per accepted edge suffices.
struct PercolationResult {
    Labels labels;
    std::vector<std::int64_t> rank;
    std::vector<std::int64_t> largest_component;
};
PercolationResult kl_percolation(std::size_t n, const EdgeList& edges, std::uint32_t k, std::uint32_t l);

}  // namespace korvale

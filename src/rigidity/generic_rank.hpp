// Generic rigidity of a graph in d dimensions, decided exactly: the
// rigidity matrix at integer coordinates drawn uniformly modulo the prime
// P = 2^61 - 1, each edge's row tested for independence from the rows of the
// edges accepted before it by exact elimination modulo P; on request also
// the edges in circuits and the rigid clusters, from one random stress and
// one random motion of the same elimination.
//
// The labels can differ from the generic ones (in characteristic P) only if
// the coordinates are a root of one fixed non-zero minor of the generic
// independent rows (a polynomial of degree r, the generic rank): by
// Schwartz-Zippel that happens with probability at most
// r / P <= min(m, max_rank) / P, the bound reported. The arguments for the
// clusters' share of the bound, and how characteristic P relates to the
// reals, are in docs/korvale_graphs.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/memory.hpp"
#include "core/records.hpp"
#include "rigidity/rigid_clusters.hpp"

namespace korvale {

struct GenericRankResult {
    Labels labels;  // 1 independent, in edge order
    std::uint64_t rank = 0;
    std::uint64_t max_rank = 0;  // n d - d(d+1)/2 for n >= d, n(n-1)/2 otherwise
    double error_bound = 0.0;    // probability bound that any answer differs from the generic one
    // With clusters: 1 when the edge lies in a circuit, and the clusters.
    Labels overconstrained;
    std::optional<RigidClusters> clusters;
};

// Node ids must lie in 0..n-1 and no edge may be a loop (graph/edge_list.hpp);
// d >= 1. The point comes from Engine::stream(seed, 0), node by node; with
// clusters the stress's coefficients follow from the same engine (one per
// dependent edge, in edge order), then the motion's values.
GenericRankResult generic_rank(std::size_t n, const EdgeList& edges, std::size_t d, std::uint64_t seed,
                               bool clusters = false);

// The rank after every edge, and the largest rigid cluster after the edges
// 0 .. c - 1 for each c of checkpoints (any order, each at most m), or after
// every edge when checkpoints is empty and every is set. Same point and
// labels as generic_rank; each checkpoint draws a motion of its own.
struct GenericPercolation {
    Labels labels;
    std::vector<std::int64_t> rank;             // per edge
    std::vector<std::int64_t> largest_cluster;  // per checkpoint, or per edge
    double error_bound = 0.0;
};
GenericPercolation generic_percolation(std::size_t n, const EdgeList& edges, std::size_t d, std::uint64_t seed,
                                       std::span<const std::uint64_t> checkpoints, bool every);

// What generic_rank holds beside its edge list before the basis grows (the
// basis is checked as it grows): the elimination's state and the labels,
// with clusters the stress and the search's arrays.
Bytes generic_rank_bytes(std::size_t n, std::size_t m, std::size_t d, bool clusters = false);
Bytes generic_percolation_bytes(std::size_t n, std::size_t m, std::size_t d, std::size_t checkpoints);

// The probability bound of the rank, and of the clusters: with r =
// min(m, max_rank) and (r + 1) / P for each pair of nodes whose closure
// could differ at the point plus 1 / P for the motion, per cluster search.
double rank_error_bound(std::size_t m, std::uint64_t max_rank);
double cluster_error_bound(std::size_t n, std::size_t m, std::uint64_t max_rank);

}  // namespace korvale

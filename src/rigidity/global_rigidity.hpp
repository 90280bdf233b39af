// Generic global rigidity in d dimensions, decided by a random equilibrium
// stress (Connelly; Gortler, Healy and Thurston): for n >= d + 2 nodes a
// graph is generically globally rigid exactly when a generic framework of
// it has an equilibrium stress whose stress matrix has rank n - d - 1.
//
// The framework is generic_rank's point modulo P = 2^61 - 1 (same seed,
// same point, same rank). The stress is a random combination of the
// fundamental circuits of the dependent edges, which span the stresses;
// its stress matrix's rank is computed exactly modulo P. The same stress
// tells the edges that lie in a circuit: those where it is not zero.
//
// On a line and in the plane the answer has combinatorial characterizations,
// decided exactly and much faster: 2-connectivity (d = 1); 3-connectivity
// and redundant rigidity (d = 2, Jackson and Jordán), redundancy from the
// (2, 3) pebble game. No stress is drawn then.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/memory.hpp"
#include "core/records.hpp"
#include "core/interrupt.hpp"
#include "pebble/kl_runs.hpp"
#include "rigidity/point_elimination.hpp"

namespace korvale {

struct GlobalRigidityResult {
    bool is_globally_rigid = false;
    bool is_rigid = false;
    bool is_redundantly_rigid = false;  // rigid, and rigid without any one edge
    std::uint64_t rank = 0;
    std::uint64_t stress_dimension = 0;         // m - rank
    std::optional<std::uint64_t> stress_rank;   // rank of the drawn stress's matrix, if one was drawn
    double error_bound = 0.0;                   // probability bound on any wrong answer
    // The stress test only, per edge: 1 when independent of the edges
    // before it (generic_rank's labels at the same point), and 1 when the
    // stress is not zero on it (the edge lies in a circuit).
    Labels labels, overconstrained;
};

// The stress test in any dimension, or the characterizations (d <= 2 only);
// automatic takes the characterizations wherever they exist.
enum class GlobalRoute { automatic, stress, combinatorial };

// Node ids must lie in 0..n-1 and no edge may be a loop (graph/edge_list.hpp);
// d >= 1; parallel edges are welcome (two of them make a stress). The point
// comes from Engine::stream(seed, 0) as in generic_rank, the stress's
// coefficients from the same engine after it, one per dependent edge in
// edge order.
GlobalRigidityResult global_rigidity(std::size_t n, const EdgeList& edges, std::size_t d, std::uint64_t seed,
                                     GlobalRoute route = GlobalRoute::automatic);

// The stress test on an elimination of the edges made with stress, for
// callers that read more from the same elimination.
GlobalRigidityResult global_rigidity_by_stress(std::size_t n, const EdgeList& edges, std::size_t d,
                                               PointElimination& elimination, InterruptPoll& poll);

// The plane's answer from a (2, 3) pebble game already played on the edges:
// complete on at most 3 nodes, or 3-connected and redundantly rigid.
bool plane_globally_rigid(std::size_t n, const EdgeList& edges, const KLGameResult& game);

// What global_rigidity holds beside its edge list before the basis and the
// recorded factors grow (both are checked as they grow): the elimination's
// state with its stress, and the stress matrix with its factors.
Bytes global_rigidity_bytes(std::size_t n, std::size_t m, std::size_t d, GlobalRoute route = GlobalRoute::automatic);

}  // namespace korvale

// The rigidity matrix at a random point modulo P = 2^61 - 1, its rows offered
// in edge order to one exact elimination; what generic rank, global rigidity,
// rigid clusters and percolation read from it:
// - the labels (1 when an edge's row is independent of the rows before it)
//   and the rank;
// - a random equilibrium stress (omega with sum_e omega_e row_e = 0), a
//   random combination of the fundamental circuits of the dependent edges,
//   which span the stresses: non-zero exactly on the edges in a circuit
//   (with the probability of the bound);
// - a random infinitesimal motion of the rows of any prefix of the edges (a
//   uniformly random element of their null space), which tells which pairs
//   of nodes keep their distance: the pair (u, v) does under every motion
//   exactly when (p_u - p_v) . (x_u - x_v) = 0 does for all of them, and a
//   random one is zero for a pair that does not with probability 1 / P.
//
// How the dense path assembles the stress (the fronts path applies its
// recorded steps to the lambdas in reverse): a dependent row reduces to zero,
// row_e = sum_j f_ej basis_j over the basis rows j it met. An accepted row
// b_k was reduced by some basis rows before its first free column:
// row_{b_k} = s_k basis_k + sum_j h_kj basis_j. So with lambda_e drawn for
// each dependent edge,
//   sum_e lambda_e row_e = sum_k G_k basis_k,   G_k = sum_e lambda_e f_ek,
// and unwinding basis_k = (row_{b_k} - sum_j h_kj basis_j) / s_k from the
// last accepted row down gives sum_k c_k row_{b_k}; omega_e = lambda_e on the
// dependent edges and -c_k on the accepted ones. The h are kept (checked
// against the memory available as they grow); no r x r table is needed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/interrupt.hpp"
#include "core/memory.hpp"
#include "core/records.hpp"
#include "random/engine.hpp"
#include "rank/front_elimination.hpp"
#include "rank/modular_rank.hpp"

namespace korvale {

class PointElimination {
public:
    // dense: the incremental echelon basis (rank/modular_rank), the plain
    // loop for small graphs; fronts: nested dissection and a front-by-front
    // elimination (rank/front_elimination), whose cost follows the graph's
    // separators rather than its size. Both give the same labels bit for
    // bit, and uniformly random stresses and motions (not the same ones:
    // the fronts' stress is not lambda on the dependent edges, since rows
    // found dependent at a parent front served as pivots below it).
    enum class Path { automatic, dense, fronts };

    // Draws the point from the engine (n d integer coordinates uniform in
    // [0, P), node by node) and eliminates every row; with stress it then
    // draws one coefficient per dependent edge, in edge order. Without
    // stress, the dense path labels rows past a full rank 0 unseen. Node ids
    // must lie in 0..n-1, no edge a loop; d >= 1, n d and the largest rank
    // must fit (checked by the callers' argument checks).
    PointElimination(std::size_t n, const EdgeList& edges, std::size_t d, Engine& engine, bool stress,
                     InterruptPoll& poll, Path path = Path::automatic);
    ~PointElimination();

    // A random motion of the rows of the edges 0 .. prefix - 1: n d values,
    // node by node; the free values are drawn from the engine, one per
    // column, last column first.
    std::vector<std::uint64_t> motion(std::size_t prefix, InterruptPoll& poll);

    // With stress: omega, per edge.
    std::vector<std::uint64_t> stress(InterruptPoll& poll);

    const std::vector<std::uint64_t>& point() const noexcept { return point_; }
    const Labels& labels() const noexcept;
    std::uint64_t rank() const noexcept;
    bool uses_fronts() const noexcept { return fronts_ != nullptr; }

private:
    void eliminate_dense(const EdgeList& edges, InterruptPoll& poll);

    std::size_t n_, d_;
    Engine& engine_;
    bool stress_;
    std::uint64_t max_rank_;
    std::vector<std::uint64_t> point_;
    std::vector<std::uint64_t> lambda_;  // with stress, per edge

    // The dense path: the basis, the labels, and with stress per accepted
    // row its edge, pivot s_k, weight G_k and reduction factors h_k (in
    // h_[h_start_[k] .. h_start_[k+1])).
    std::unique_ptr<ModularRankTracker> tracker_;
    Labels labels_;
    std::vector<std::size_t> basis_edge_;
    std::vector<std::uint64_t> pivot_, weight_;
    std::vector<std::size_t> h_start_{0};
    std::vector<ModularRankTracker::Factor> h_;
    std::size_t h_checked_ = 0;

    // The fronts path: the elimination over the nodes with edges, and those
    // nodes (the fronts number them 0, 1, ... in this order).
    std::unique_ptr<FrontElimination> fronts_;
    std::vector<std::uint32_t> active_;
};

// What a PointElimination holds beside its edge list before the basis grows
// (the basis and the stress factors are checked as they grow): the point,
// the tracker's fixed state, the labels, and with stress its per-edge and
// per-row records.
Bytes point_elimination_bytes(std::size_t n, std::size_t m, std::size_t d, bool stress);

// Edge e's rigidity-matrix row at the point, modulo P: p_i - p_j in node
// i's d columns, p_j - p_i in node j's (zeros left out), written into row.
void modular_row(const std::vector<std::uint64_t>& point, std::size_t d, const Edge& e,
                 std::vector<ModularEntry>& row);

}  // namespace korvale

// Exact elimination modulo P = 2^61 - 1 of a sparse matrix whose rows each
// touch two blocks of d columns (one block per node), front by front along
// an assembly tree, with the answers of an elimination in row order.
//
// Row order decides which rows are independent of the rows before them.
// Any sequence of steps that subtract a multiple of an earlier row from a
// later one keeps every row equal to itself minus a combination of earlier
// rows; once the rows left non-zero are independent, a row is independent
// of the rows before it exactly when it is left non-zero. So the columns
// may be eliminated in any order, a front at a time: within a front the
// rows are reduced in row order by the front's earlier pivot rows, and a
// row takes as pivot its first non-zero column. A pivot in one of the
// front's own columns is final (no row outside the front touches them); a
// pivot in the boundary makes the row one of the front's contribution to
// its parent, where rows of other fronts meet it. A front passes up at most
// as many rows as its boundary has columns; a row reduced to zero anywhere
// is dependent, and costs nothing further.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/interrupt.hpp"
#include "core/memory.hpp"
#include "core/records.hpp"
#include "rank/assembly_tree.hpp"

namespace korvale {

class FrontElimination {
public:
    // Writes row e's values in the blocks of edges[e].i and edges[e].j.
    using RowValues = std::function<void(std::size_t e, std::uint64_t* at_i, std::uint64_t* at_j)>;

    // Eliminates every row. With keep_pivots, the final pivot rows are kept
    // (for null vectors); with record, every step's factor too (for left
    // null vectors).
    FrontElimination(std::size_t d, const EdgeList& edges, const AssemblyTree& tree, const RowValues& values,
                     bool keep_pivots, bool record, InterruptPoll& poll);

    // 1 when the row is independent of the rows before it.
    const Labels& labels() const noexcept { return labels_; }
    std::uint64_t rank() const noexcept { return rank_; }

    // A vector x (n d values, node by node) with row . x = 0 for the rows
    // 0 .. prefix - 1: the given values in the columns where no pivot row of
    // those rows has its pivot, solved for in the others. Needs keep_pivots.
    std::vector<std::uint64_t> null_vector(std::vector<std::uint64_t> free, std::size_t prefix,
                                           InterruptPoll& poll) const;

    // omega with sum_e omega_e row_e = 0, from lambda (one value per row,
    // zero on the independent ones): the steps applied to lambda in reverse.
    // Needs record.
    std::vector<std::uint64_t> left_null_vector(std::vector<std::uint64_t> lambda, InterruptPoll& poll) const;

private:
    friend Bytes front_elimination_bytes(std::size_t, const EdgeList&, const AssemblyTree&, bool, bool);
    struct Factor {
        std::vector<std::uint32_t> nodes;       // the front's column blocks: pivot nodes, then boundary
        std::vector<std::uint32_t> pivot_row;   // final pivots: their rows, in the order made
        std::vector<std::uint32_t> pivot_col;   // and their columns, local
        std::vector<std::uint64_t> pivot_values;  // and their values, one front width each
        // With record: per row reduced, in order, its row, the number of
        // pivots it met (their factors follow in `factors`) and its scale
        // (0 when it took no pivot); the pivots' rows in the order made.
        std::vector<std::uint32_t> step_row, step_met;
        std::vector<std::uint64_t> step_scale, factors;
        std::vector<std::uint32_t> all_pivot_rows;
    };
    std::size_t d_;
    Labels labels_;
    std::uint64_t rank_ = 0;
    std::vector<Factor> factors_;
};

// The most the elimination holds at once, bounded from the tree: fronts
// made in order, each with at most as many pivots as it has rows or
// columns, each passing up at most as many rows as its boundary has
// columns. Each front is checked again as it is made.
Bytes front_elimination_bytes(std::size_t d, const EdgeList& edges, const AssemblyTree& tree, bool keep_pivots,
                              bool record);

// The work of the elimination, in multiply-adds, bounded from the tree: each
// front's rows met by at most all its pivots across its width.
double front_elimination_work(std::size_t d, const EdgeList& edges, const AssemblyTree& tree);

}  // namespace korvale

// Incremental rank over the reals, exact to the bit.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "rank/dense_basis.hpp"
#include "rank/live_column_basis.hpp"
#include "rank/sparse_row.hpp"

namespace korvale {

// Answers, one row at a time, whether a row is linearly independent of the
// rows accepted so far, up to an absolute tolerance: |x| > tol counts as
// non-zero (strictly; NaN never does). Every operation is one IEEE double
// operation in the order written, the product rounded before it is
// subtracted: the answers are training labels and must be the same bits on
// every machine.
//
// Two layouts give the same answers: the plain dense sweep (DenseBasis),
// and for wide rows the live-column layout (LiveColumnBasis), which skips
// the exact zeros of sparse rows and hands the basis over to the dense one
// for good the moment it meets a case only that reproduces.
class RankTracker {
public:
    // How the basis is kept; the answers are the same either way.
    enum class Layout {
        automatic,     // live columns for wide rows, dense for narrow ones
        dense,         // the plain sweep over whole rows
        live_columns,  // live columns wherever exact (tol >= 0, finite)
    };

    RankTracker(std::size_t ncols, double tol, Layout layout = Layout::automatic);

    // Takes the row. True: it was independent and is now part of the basis.
    // False: it was dependent, and the tracker is unchanged.
    bool add_row(std::vector<double> row);

    // The same for a row given by its non-zeros (distinct columns; every
    // other entry +0.0).
    bool add_row(std::span<const RowEntry> entries);

    std::size_t rank() const noexcept { return live_ ? live_->rank() : dense_.rank(); }
    const std::vector<std::size_t>& pivots() const noexcept { return live_ ? live_->pivots() : dense_.pivots(); }

    // The basis as dense rows (for inspection; equal to the plain
    // algorithm's rows up to the signs of zeros).
    std::vector<std::vector<double>> rows();

private:
    // Offers the row to the live-column layout; `write_offered` writes the
    // row as offered into a dense row, should the dense sweep need it whole.
    template <class WriteOffered>
    bool add_live(std::span<const RowEntry> entries, WriteOffered&& write_offered);
    void go_dense();

    std::size_t ncols_;
    std::optional<LiveColumnBasis> live_;  // empty once dense
    DenseBasis dense_;
    std::vector<RowEntry> entries_;
};

}  // namespace korvale

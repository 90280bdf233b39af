#pragma once

#include <cmath>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

namespace korvale {

// One non-zero of a sparse row.
struct RowEntry {
    std::size_t col;
    double value;
};

// The pivot of a row: among the entries that count as non-zero
// (|x| > tol), the one of largest magnitude, the lowest column among equals.
// An infinity is the largest; NaN never counts. Choosing by magnitude keeps
// the normalised row bounded by 1 in the columns that count, so a value just
// above the tolerance cannot blow the basis up and reject independent rows
// later on. Columns may be offered in any order.
struct PivotChoice {
    static constexpr std::size_t none = static_cast<std::size_t>(-1);
    std::size_t col = none;
    double value = 0.0;
    double magnitude = 0.0;

    void offer(std::size_t k, double x, double tol) noexcept {
        const double a = std::fabs(x);
        if (!(a > tol)) return;
        if (col == none || a > magnitude || (a == magnitude && k < col)) {
            col = k;
            value = x;
            magnitude = a;
        }
    }
};

// Answers, one row at a time, whether a row is linearly independent of the
// rows accepted so far, up to an absolute tolerance: |x| > tol counts as
// non-zero (strictly; NaN never does). Accepted rows are kept normalised on
// their pivot and cleared in the pivot columns of later rows, so a test is a
// single sweep against the basis and nothing is ever refactorised.
//
// Every operation is one IEEE double operation in the order written, the
// product rounded before it is subtracted: the answers are training labels
// and must be the same bits on every machine.
//
// How the work is saved without changing a bit. An entry that is exactly
// zero contributes nothing: x - 0*f is x, and a zero's sign never reaches a
// non-zero value or a decision while tol >= 0 and f is finite. So columns in
// which every basis row but at most one (the column's owner, whose pivot it
// is) holds an exact zero are "dead": they are kept apart, and the sweeps
// run only over the "live" columns, stored contiguously in slots. A rigidity
// row touches few columns, so most basis rows see f = 0 at their dead pivot
// and are skipped outright. Whatever the shortcut cannot reproduce (tol < 0
// or NaN, where zeros take part; a non-finite factor, where 0 * inf is NaN)
// is handled by the plain dense sweep, which the tracker switches to for
// good the moment it meets such a case.
//
// Back-substitution, the bulk of the work, is deferred and applied for
// several accepted rows in one pass over the basis, element by element in
// acceptance order, so every entry sees the same operations in the same
// order. A row needed for elimination meanwhile is brought up to date in a
// scratch copy.
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

    std::size_t rank() const noexcept { return pivots_.size(); }
    const std::vector<std::size_t>& pivots() const noexcept { return pivots_; }

    // The basis as dense rows (for inspection; equal to the plain
    // algorithm's rows up to the signs of zeros).
    std::vector<std::vector<double>> rows();

private:
    static constexpr std::size_t none = static_cast<std::size_t>(-1);

    bool nonzero(double x) const noexcept { return std::fabs(x) > tol_; }

    // Slot layout.
    bool load(std::span<const RowEntry> entries);
    bool process();
    double* basis_row(std::size_t r) noexcept { return basis_.data() + r * ncols_; }
    const double* basis_row(std::size_t r) const noexcept { return basis_.data() + r * ncols_; }
    double work_value(std::size_t col) const noexcept {
        return slot_of_[col] != none ? live_[slot_of_[col]] : dead_[col];
    }
    double entry(std::size_t r, std::size_t col) const noexcept;
    std::vector<std::vector<double>> stored_rows() const;
    struct Update {
        std::size_t row;  // the pending row subtracted
        double factor;
    };
    bool pending_factors(std::size_t r);
    void apply_updates(double* target, const Update* updates, std::size_t count, std::size_t m) const;
    const double* current_row(std::size_t r);
    void flush();
    void revive(std::size_t col);
    void retire(std::size_t col, std::size_t owner);
    void find_irregular_rows();

    // Dense layout, and the switch to it.
    void go_dense();
    std::vector<double> dense_work() const;
    bool process_dense(std::size_t first_eliminated);
    void reserve_dense_rows(std::size_t rows);
    double* next_dense_row();
    double* dense_row(std::size_t r) noexcept { return dense_basis_.get() + r * ncols_; }

    std::size_t ncols_;
    double tol_;
    std::vector<std::size_t> pivots_;
    bool dense_ = false;

    // Slot layout. Live column k lives in slot slot_of_[k] of every basis row
    // and of the work row live_; a dead column's work value is dead_[k], and
    // its owner's entry there is pivot_value_[owner_of_[k]] (every other row
    // holds zero). Only the columns the offered row touched can hold non-zero
    // dead work values; they are listed in touched_.
    std::vector<double> basis_;  // one row of ncols_ slots per basis row
    std::vector<std::size_t> col_of_slot_;
    std::vector<std::size_t> slot_of_;
    std::vector<std::size_t> owner_of_;
    std::vector<double> pivot_value_;
    std::vector<double> live_;
    std::vector<double> dead_;
    std::vector<std::size_t> touched_;
    // Rows whose pivot column is not a dead column they own: their work
    // value can change during elimination, so they are always examined.
    std::vector<std::size_t> irregular_;
    bool irregular_stale_ = false;
    std::vector<std::size_t> candidates_;
    std::vector<RowEntry> entries_;
    // Accepted rows whose back-substitution into the older rows is still to
    // be applied, in acceptance order; their stored values are as accepted.
    std::vector<std::size_t> pending_;
    std::vector<Update> updates_;        // pending_factors' answer for one row
    std::vector<Update> flush_updates_;  // all rows' updates during a flush
    std::vector<std::size_t> flush_start_;
    std::vector<double> scratch_;

    // Dense layout: the basis rows one after another, followed by the row
    // being tested; room for dense_rows_ rows.
    std::unique_ptr<double[]> dense_basis_;
    std::size_t dense_rows_ = 0;
};

}  // namespace korvale

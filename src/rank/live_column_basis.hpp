#pragma once

#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

#include "rank/dense_basis.hpp"
#include "rank/sparse_row.hpp"

namespace korvale {

// The rank tracker's layout for wide rows (see rank_tracker.hpp for what
// the tracker answers). Accepted rows are kept normalised on their pivot and
// cleared in the pivot columns of later rows, so a test is a single sweep
// against the basis and nothing is ever refactorised.
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
// is left to the plain dense sweep (DenseBasis): the basis is handed over to
// it for good the moment such a case is met.
//
// Back-substitution, the bulk of the work, is deferred and applied for
// several accepted rows in one pass over the basis, element by element in
// acceptance order, so every entry sees the same operations in the same
// order. A row needed for elimination meanwhile is brought up to date in a
// scratch copy.
class LiveColumnBasis {
public:
    LiveColumnBasis(std::size_t ncols, double tol);

    // What became of an offered row. `dense`: it holds a non-finite value,
    // or its elimination met a non-finite factor, which only the dense sweep
    // reproduces; nothing is accepted, and the row is to be finished there
    // (resume_row(), resume_at()) once the basis is handed over.
    enum class Verdict { dependent, independent, dense };
    Verdict add_row(std::span<const RowEntry> entries);

    // After Verdict::dense: the row as far as it got (empty when it is the
    // row as offered) and the basis row its elimination resumes at.
    const std::vector<double>& resume_row() const noexcept { return resume_row_; }
    std::size_t resume_at() const noexcept { return resume_at_; }

    // Whether a back-substitution met a non-finite factor: the rows stay as
    // accepted, and the basis must be handed over before the next row.
    bool needs_dense() const noexcept { return needs_dense_; }

    // Moves the basis into `dense`, the pending back-substitutions replayed;
    // this object is spent afterwards.
    void hand_over(DenseBasis& dense);

    std::size_t rank() const noexcept { return pivots_.size(); }
    const std::vector<std::size_t>& pivots() const noexcept { return pivots_; }

    // Applies every pending back-substitution (which may find that the basis
    // needs the dense layout).
    void flush();
    // The basis as dense rows, as stored (call flush() first for the rows
    // the plain algorithm holds, up to the signs of zeros).
    std::vector<std::vector<double>> stored_rows() const;

private:
    static constexpr std::size_t none = static_cast<std::size_t>(-1);

    bool nonzero(double x) const noexcept { return std::fabs(x) > tol_; }

    bool load(std::span<const RowEntry> entries);
    Verdict process();
    double* basis_row(std::size_t r) noexcept { return basis_.data() + r * ncols_; }
    const double* basis_row(std::size_t r) const noexcept { return basis_.data() + r * ncols_; }
    double work_value(std::size_t col) const noexcept {
        return slot_of_[col] != none ? live_[slot_of_[col]] : dead_[col];
    }
    double entry(std::size_t r, std::size_t col) const noexcept;
    struct Update {
        std::size_t row;  // the pending row subtracted
        double factor;
    };
    bool pending_factors(std::size_t r);
    void apply_updates(double* target, const Update* updates, std::size_t count, std::size_t m) const;
    const double* current_row(std::size_t r);
    void revive(std::size_t col);
    void retire(std::size_t col, std::size_t owner);
    void find_irregular_rows();

    std::vector<double> dense_work() const;

    std::size_t ncols_;
    double tol_;
    std::vector<std::size_t> pivots_;
    bool needs_dense_ = false;
    std::vector<double> resume_row_;
    std::size_t resume_at_ = 0;

    // Live column k lives in slot slot_of_[k] of every basis row and of the
    // work row live_; a dead column's work value is dead_[k], and its
    // owner's entry there is pivot_value_[owner_of_[k]] (every other row
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
    // Accepted rows whose back-substitution into the older rows is still to
    // be applied, in acceptance order; their stored values are as accepted.
    std::vector<std::size_t> pending_;
    std::vector<Update> updates_;        // pending_factors' answer for one row
    std::vector<Update> flush_updates_;  // all rows' updates during a flush
    std::vector<std::size_t> flush_start_;
    std::vector<double> scratch_;
};

}  // namespace korvale

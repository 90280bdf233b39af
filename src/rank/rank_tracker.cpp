#include "rank/rank_tracker.hpp"

#include <algorithm>
#include <string>

#include "core/failure.hpp"

namespace korvale {

namespace {

// target[k] -= source[k] * factor: one rounded product and one rounded
// subtraction per entry, never fused. Cloned for AVX2, which changes the
// width of the loop and not a single result.
__attribute__((target_clones("avx2", "default"))) void subtract_scaled(double* __restrict target,
                                                                      const double* __restrict source,
                                                                      double factor, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) target[k] = target[k] - source[k] * factor;
}

__attribute__((target_clones("avx2", "default"))) void divide_all(double* values, double divisor,
                                                                 std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) values[k] = values[k] / divisor;
}

[[noreturn]] void wrong_width(std::size_t got, std::size_t want) {
    internal_failure("Row length " + std::to_string(got) + " does not match ncols " + std::to_string(want));
}

}  // namespace

RankTracker::RankTracker(std::size_t ncols, double tol) : ncols_(ncols), tol_(tol) {
    // With tol < 0 (or NaN) zeros take part in the decisions, and only the
    // plain sweep reproduces them exactly.
    if (!(tol >= 0.0)) {
        dense_ = true;
        return;
    }
    slot_of_.assign(ncols, none);
    owner_of_.assign(ncols, none);
    live_.assign(ncols, 0.0);
    dead_.assign(ncols, 0.0);
}

bool RankTracker::add_row(std::vector<double> row) {
    if (row.size() != ncols_) wrong_width(row.size(), ncols_);
    if (dense_) return process_dense(std::move(row), 0);
    entries_.clear();
    for (std::size_t k = 0; k < ncols_; ++k)
        if (row[k] != 0.0 || row[k] != row[k]) entries_.push_back({k, row[k]});
    if (!load(entries_)) return process_dense(std::move(row), 0);
    return process();
}

bool RankTracker::add_row(std::span<const RowEntry> entries) {
    for (const RowEntry& e : entries)
        if (e.col >= ncols_) index_out_of_bounds(ncols_, e.col);
    if (dense_ || !load(entries)) {
        std::vector<double> row(ncols_, 0.0);
        for (const RowEntry& e : entries) row[e.col] = e.value;
        return process_dense(std::move(row), 0);
    }
    return process();
}

// Puts the row into the work buffers; false (after switching to the dense
// layout) when it holds a non-finite value.
bool RankTracker::load(std::span<const RowEntry> entries) {
    for (const RowEntry& e : entries) {
        if (!std::isfinite(e.value)) {
            go_dense();
            return false;
        }
    }
    std::fill_n(live_.begin(), col_of_slot_.size(), 0.0);
    for (std::size_t k : touched_) dead_[k] = 0.0;
    touched_.clear();
    for (const RowEntry& e : entries) {
        if (slot_of_[e.col] != none) {
            live_[slot_of_[e.col]] = e.value;
        } else {
            dead_[e.col] = e.value;
            touched_.push_back(e.col);
        }
    }
    return true;
}

void RankTracker::find_irregular_rows() {
    irregular_.clear();
    for (std::size_t r = 0; r < pivots_.size(); ++r)
        if (owner_of_[pivots_[r]] != r) irregular_.push_back(r);
    irregular_stale_ = false;
}

bool RankTracker::process() {
    const std::size_t rank = pivots_.size();

    // Forward elimination, in acceptance order, over the rows whose pivot
    // entry can be non-zero: the owners of the dead columns the row touches
    // (nobody else changes those entries) and the irregular rows.
    if (irregular_stale_) find_irregular_rows();
    candidates_ = irregular_;
    for (std::size_t k : touched_)
        if (owner_of_[k] != none && pivots_[owner_of_[k]] == k) candidates_.push_back(owner_of_[k]);
    std::sort(candidates_.begin(), candidates_.end());
    candidates_.erase(std::unique(candidates_.begin(), candidates_.end()), candidates_.end());
    for (std::size_t r : candidates_) {
        const std::size_t p = pivots_[r];
        const double f = work_value(p);
        if (!nonzero(f)) continue;
        if (!std::isfinite(f)) {  // 0 * inf would be NaN in every column
            std::vector<double> row = dense_work();
            go_dense();
            return process_dense(std::move(row), r);
        }
        subtract_scaled(live_.data(), basis_row(r), f, col_of_slot_.size());
        if (slot_of_[p] == none && owner_of_[p] == r) dead_[p] = dead_[p] - pivot_value_[r] * f;
    }

    // The first column that counts as non-zero: a live one or a touched dead one.
    std::size_t c = none;
    for (std::size_t s = 0; s < col_of_slot_.size(); ++s)
        if (col_of_slot_[s] < c && nonzero(live_[s])) c = col_of_slot_[s];
    for (std::size_t k : touched_)
        if (k < c && nonzero(dead_[k])) c = k;
    if (c == none) return false;

    const double v = work_value(c);
    divide_all(live_.data(), v, col_of_slot_.size());
    for (std::size_t k : touched_) dead_[k] = dead_[k] / v;

    // The new row becomes a basis row: every dead column where it is not
    // zero turns live, except its own pivot column if nobody owns it yet.
    const bool owns_dead_pivot = slot_of_[c] == none && owner_of_[c] == none;
    for (std::size_t k : touched_)
        if (slot_of_[k] == none && !(k == c && owns_dead_pivot) && dead_[k] != 0.0) revive(k);
    if (slot_of_[c] == none && !owns_dead_pivot) revive(c);
    const std::size_t m = col_of_slot_.size();

    // Back-substitution into the older rows, at the live pivot column only
    // (at a dead, unowned one every older row is already zero).
    bool cleared = true;
    if (!owns_dead_pivot) {
        const std::size_t sc = slot_of_[c];
        for (std::size_t r = 0; r < rank; ++r) {
            double* b = basis_row(r);
            const double g = b[sc];
            if (nonzero(g)) {
                if (!std::isfinite(g)) {
                    std::vector<double> row = dense_work();
                    go_dense();
                    back_substitute_dense(row, c, r);
                    pivots_.push_back(c);
                    dense_rows_.push_back(std::move(row));
                    return true;
                }
                subtract_scaled(b, live_.data(), g, m);
            }
            if (b[sc] != 0.0 || b[sc] != b[sc]) cleared = false;
        }
    }

    basis_.resize((rank + 1) * ncols_);
    std::copy_n(live_.begin(), m, basis_row(rank));
    pivots_.push_back(c);
    pivot_value_.push_back(0.0);
    if (owns_dead_pivot) {
        owner_of_[c] = rank;
        pivot_value_[rank] = dead_[c];
    } else if (cleared) {
        retire(c, rank);
    }
    irregular_stale_ = true;
    return true;
}

// Column col gets a slot; its owner's entry moves there, every other basis
// row holds zero in it.
void RankTracker::revive(std::size_t col) {
    const std::size_t s = col_of_slot_.size();
    col_of_slot_.push_back(col);
    slot_of_[col] = s;
    for (std::size_t r = 0; r < pivots_.size(); ++r) basis_row(r)[s] = owner_of_[col] == r ? pivot_value_[r] : 0.0;
    owner_of_[col] = none;
    live_[s] = dead_[col];
    dead_[col] = 0.0;
    irregular_stale_ = true;
}

// Column col is zero in every basis row but owner: its slot is given up (the
// last slot moves into it) and the owner's entry is kept aside.
void RankTracker::retire(std::size_t col, std::size_t owner) {
    const std::size_t s = slot_of_[col];
    const std::size_t last = col_of_slot_.size() - 1;
    pivot_value_[owner] = basis_row(owner)[s];
    owner_of_[col] = owner;
    if (s != last) {
        for (std::size_t r = 0; r < pivots_.size(); ++r) basis_row(r)[s] = basis_row(r)[last];
        const std::size_t moved = col_of_slot_[last];
        col_of_slot_[s] = moved;
        slot_of_[moved] = s;
    }
    col_of_slot_.pop_back();
    slot_of_[col] = none;
}

double RankTracker::entry(std::size_t r, std::size_t col) const noexcept {
    if (slot_of_[col] != none) return basis_row(r)[slot_of_[col]];
    return owner_of_[col] == r ? pivot_value_[r] : 0.0;
}

std::vector<double> RankTracker::dense_work() const {
    std::vector<double> row(ncols_);
    for (std::size_t k = 0; k < ncols_; ++k) row[k] = work_value(k);
    return row;
}

std::vector<std::vector<double>> RankTracker::rows() const {
    if (dense_) return dense_rows_;
    std::vector<std::vector<double>> out(pivots_.size(), std::vector<double>(ncols_));
    for (std::size_t r = 0; r < pivots_.size(); ++r)
        for (std::size_t k = 0; k < ncols_; ++k) out[r][k] = entry(r, k);
    return out;
}

void RankTracker::go_dense() {
    if (dense_) return;
    dense_rows_ = rows();
    dense_ = true;
    basis_ = {};
    col_of_slot_ = {};
    slot_of_ = {};
    owner_of_ = {};
    pivot_value_ = {};
    live_ = {};
    dead_ = {};
    touched_ = {};
    irregular_ = {};
}

// The plain algorithm, from elimination row first_eliminated on.
bool RankTracker::process_dense(std::vector<double> row, std::size_t first_eliminated) {
    double* x = row.data();
    for (std::size_t r = first_eliminated; r < pivots_.size(); ++r) {
        const double f = x[pivots_[r]];
        if (nonzero(f)) subtract_scaled(x, dense_rows_[r].data(), f, ncols_);
    }
    std::size_t c = 0;
    while (c < ncols_ && !nonzero(x[c])) ++c;
    if (c == ncols_) return false;
    divide_all(x, x[c], ncols_);
    back_substitute_dense(row, c, 0);
    pivots_.push_back(c);
    dense_rows_.push_back(std::move(row));
    return true;
}

void RankTracker::back_substitute_dense(const std::vector<double>& row, std::size_t c, std::size_t first) {
    for (std::size_t r = first; r < dense_rows_.size(); ++r) {
        const double g = dense_rows_[r][c];
        if (nonzero(g)) subtract_scaled(dense_rows_[r].data(), row.data(), g, ncols_);
    }
}

}  // namespace korvale

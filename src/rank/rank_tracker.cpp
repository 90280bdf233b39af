#include "rank/rank_tracker.hpp"

#include <algorithm>
#include <string>

#include "core/failure.hpp"
#include "rank/row_kernels.hpp"

namespace korvale {

namespace {

// Accepted rows whose back-substitution is applied together.
constexpr std::size_t batch_rows = 8;
// Row widths below which the plain dense sweep is the faster one (measured
// with the C++ benchmarks: 20 nodes in the plane 2.4x faster dense, 100
// nodes about even).
constexpr std::size_t dense_below = 160;

[[noreturn]] void wrong_width(std::size_t got, std::size_t want) {
    internal_failure("Row length " + std::to_string(got) + " does not match ncols " + std::to_string(want));
}

}  // namespace

RankTracker::RankTracker(std::size_t ncols, double tol, Layout layout) : ncols_(ncols), tol_(tol) {
    // With tol < 0 (or NaN) zeros take part in the decisions, and only the
    // plain sweep reproduces them exactly. Narrow rows are faster that way
    // too: the bookkeeping of live columns costs more than it saves.
    const bool narrow = layout == Layout::automatic && ncols < dense_below;
    if (!(tol >= 0.0) || narrow || layout == Layout::dense) {
        dense_ = true;
        reserve_dense_rows(std::min<std::size_t>(ncols, 64) + 1);
        pivots_.reserve(std::min<std::size_t>(ncols, 64));
        return;
    }
    slot_of_.assign(ncols, none);
    owner_of_.assign(ncols, none);
    live_.assign(ncols, 0.0);
    dead_.assign(ncols, 0.0);
}

bool RankTracker::add_row(std::vector<double> row) {
    if (row.size() != ncols_) wrong_width(row.size(), ncols_);
    if (!dense_) {
        entries_.clear();
        for (std::size_t k = 0; k < ncols_; ++k)
            if (row[k] != 0.0 || row[k] != row[k]) entries_.push_back({k, row[k]});
        if (load(entries_)) return process();
    }
    std::copy(row.begin(), row.end(), next_dense_row());
    return process_dense(0);
}

bool RankTracker::add_row(std::span<const RowEntry> entries) {
    for (const RowEntry& e : entries)
        if (e.col >= ncols_) index_out_of_bounds(ncols_, e.col);
    if (dense_ || !load(entries)) {
        double* x = next_dense_row();
        clear_row(x, ncols_);
        for (const RowEntry& e : entries) x[e.col] = e.value;
        return process_dense(0);
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
        // A non-finite factor (0 * inf would be NaN in every column), or one
        // met while bringing row r up to date, needs the dense sweep.
        const double* b = std::isfinite(f) ? current_row(r) : nullptr;
        if (b == nullptr) {
            const std::vector<double> row = dense_work();
            go_dense();
            std::copy(row.begin(), row.end(), next_dense_row());
            return process_dense(r);
        }
        subtract_scaled(live_.data(), b, f, col_of_slot_.size());
        if (slot_of_[p] == none && owner_of_[p] == r) dead_[p] = dead_[p] - pivot_value_[r] * f;
    }

    // The pivot, among the live columns and the touched dead ones.
    PivotChoice pivot;
    for (std::size_t s = 0; s < col_of_slot_.size(); ++s) pivot.offer(col_of_slot_[s], live_[s], tol_);
    for (std::size_t k : touched_) pivot.offer(k, dead_[k], tol_);
    if (pivot.col == PivotChoice::none) return false;
    const std::size_t c = pivot.col;

    const double v = pivot.value;
    divide_all(live_.data(), v, col_of_slot_.size());
    for (std::size_t k : touched_) dead_[k] = dead_[k] / v;

    // The new row becomes a basis row: every dead column where it is not
    // zero turns live, except its own pivot column if nobody owns it yet.
    const bool owns_dead_pivot = slot_of_[c] == none && owner_of_[c] == none;
    for (std::size_t k : touched_)
        if (slot_of_[k] == none && !(k == c && owns_dead_pivot) && dead_[k] != 0.0) revive(k);
    if (slot_of_[c] == none && !owns_dead_pivot) revive(c);
    const std::size_t m = col_of_slot_.size();

    // The new row joins the basis. Its back-substitution into the older rows
    // waits for a batch, unless its pivot column is dead and unowned, where
    // every older row is zero already.
    basis_.resize((rank + 1) * ncols_);
    std::copy_n(live_.begin(), m, basis_row(rank));
    pivots_.push_back(c);
    pivot_value_.push_back(0.0);
    if (owns_dead_pivot) {
        owner_of_[c] = rank;
        pivot_value_[rank] = dead_[c];
    } else {
        pending_.push_back(rank);
        if (pending_.size() == batch_rows) flush();
    }
    irregular_stale_ = true;
    return true;
}

// The factors with which the pending rows after r are subtracted from row r,
// in order: each is row r's entry at that row's pivot column after the
// earlier subtractions, and only those that count as non-zero are applied.
// False when one is non-finite, which only the dense sweep reproduces.
bool RankTracker::pending_factors(std::size_t r) {
    updates_.clear();
    const double* b = basis_row(r);
    for (std::size_t t : pending_) {
        if (t <= r) continue;
        const std::size_t s = slot_of_[pivots_[t]];
        double g = b[s];
        for (const Update& u : updates_) g = g - basis_row(u.row)[s] * u.factor;
        if (!nonzero(g)) continue;
        if (!std::isfinite(g)) return false;
        updates_.push_back({t, g});
    }
    return true;
}

// Subtracts the updates from target, each entry seeing them in order.
void RankTracker::apply_updates(double* target, const Update* updates, std::size_t count, std::size_t m) const {
    const double* sources[batch_rows];
    double factors[batch_rows];
    for (std::size_t u = 0; u < count; ++u) {
        sources[u] = basis_row(updates[u].row);
        factors[u] = updates[u].factor;
    }
    subtract_many(target, sources, factors, count, m);
}

// Row r as the plain algorithm would hold it now: the stored row, or a
// scratch copy with the pending subtractions applied. NULL when that needs
// a non-finite factor.
const double* RankTracker::current_row(std::size_t r) {
    if (!pending_factors(r)) return nullptr;
    if (updates_.empty()) return basis_row(r);
    const std::size_t m = col_of_slot_.size();
    scratch_.assign(basis_row(r), basis_row(r) + m);
    apply_updates(scratch_.data(), updates_.data(), updates_.size(), m);
    return scratch_.data();
}

// Applies every pending back-substitution, then retires the pending pivot
// columns that are now zero in every other row.
void RankTracker::flush() {
    if (pending_.empty() || dense_) return;
    const std::size_t rank = pivots_.size();
    const std::size_t m = col_of_slot_.size();
    // All factors first: the pending rows must stay as accepted until every
    // row has read them, and a non-finite factor sends everything dense.
    flush_updates_.clear();
    flush_start_.assign(1, 0);
    for (std::size_t r = 0; r < rank; ++r) {
        if (!pending_factors(r)) {
            go_dense();
            return;
        }
        flush_updates_.insert(flush_updates_.end(), updates_.begin(), updates_.end());
        flush_start_.push_back(flush_updates_.size());
    }
    for (std::size_t r = 0; r < rank; ++r)
        apply_updates(basis_row(r), flush_updates_.data() + flush_start_[r], flush_start_[r + 1] - flush_start_[r], m);
    const std::vector<std::size_t> done = std::move(pending_);
    pending_.clear();
    for (std::size_t t : done) {
        const std::size_t s = slot_of_[pivots_[t]];
        bool cleared = true;
        for (std::size_t r = 0; r < rank && cleared; ++r)
            if (r != t && (basis_row(r)[s] != 0.0 || basis_row(r)[s] != basis_row(r)[s])) cleared = false;
        if (cleared) retire(pivots_[t], t);
    }
    irregular_stale_ = true;
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

std::vector<std::vector<double>> RankTracker::rows() {
    flush();
    if (!dense_) return stored_rows();
    std::vector<std::vector<double>> out;
    for (std::size_t r = 0; r < pivots_.size(); ++r) out.emplace_back(dense_row(r), dense_row(r) + ncols_);
    return out;
}

std::vector<std::vector<double>> RankTracker::stored_rows() const {
    std::vector<std::vector<double>> out(pivots_.size(), std::vector<double>(ncols_));
    for (std::size_t r = 0; r < pivots_.size(); ++r)
        for (std::size_t k = 0; k < ncols_; ++k) out[r][k] = entry(r, k);
    return out;
}

// Switches to the dense layout for good. The pending back-substitutions are
// replayed as the plain algorithm made them: row by row in acceptance order,
// each pending row still as accepted when its turn comes.
void RankTracker::go_dense() {
    if (dense_) return;
    const std::vector<std::vector<double>> stored = stored_rows();
    reserve_dense_rows(stored.size() + 1);
    for (std::size_t r = 0; r < stored.size(); ++r) std::copy(stored[r].begin(), stored[r].end(), dense_row(r));
    for (std::size_t t : pending_)
        back_substitute_rows(dense_basis_.get(), dense_row(t), pivots_[t], 0, t, ncols_, tol_);
    pending_ = {};
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

// Room for rows basis rows in the dense buffer, the rows kept. Grown by
// hand rather than as a std::vector: resizing a vector would zero rows that
// are written before they are read anyway.
void RankTracker::reserve_dense_rows(std::size_t rows) {
    if (rows <= dense_rows_) return;
    const std::size_t grown = std::max(rows, 2 * dense_rows_);
    std::unique_ptr<double[]> buffer(new double[checked_capacity(grown, ncols_, sizeof(double))]);
    std::copy_n(dense_basis_.get(), std::min(pivots_.size(), dense_rows_) * ncols_, buffer.get());
    dense_basis_ = std::move(buffer);
    dense_rows_ = grown;
}

// The row after the basis, where the next row is tested.
double* RankTracker::next_dense_row() {
    reserve_dense_rows(pivots_.size() + 1);
    return dense_row(pivots_.size());
}

// The plain algorithm on the row after the basis, from elimination row
// first_eliminated on. Accepting it only records its pivot: it is in place.
bool RankTracker::process_dense(std::size_t first_eliminated) {
    const std::size_t rank = pivots_.size();
    const std::size_t c =
        reduce_row(dense_row(rank), dense_basis_.get(), pivots_.data(), first_eliminated, rank, ncols_, tol_);
    if (c == ncols_) return false;
    pivots_.push_back(c);
    return true;
}

}  // namespace korvale

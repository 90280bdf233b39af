#include "rank/live_column_basis.hpp"

#include <algorithm>

#include "rank/row_kernels.hpp"

namespace korvale {

namespace {

// Accepted rows whose back-substitution is applied together.
constexpr std::size_t batch_rows = 8;

}  // namespace

LiveColumnBasis::LiveColumnBasis(std::size_t ncols, double tol)
    : ncols_(ncols), tol_(tol), slot_of_(ncols, none), owner_of_(ncols, none), live_(ncols, 0.0),
      dead_(ncols, 0.0) {}

LiveColumnBasis::Verdict LiveColumnBasis::add_row(std::span<const RowEntry> entries) {
    if (!load(entries)) {
        resume_row_.clear();
        resume_at_ = 0;
        return Verdict::dense;
    }
    return process();
}

// Puts the row into the work buffers; false when it holds a non-finite
// value.
bool LiveColumnBasis::load(std::span<const RowEntry> entries) {
    for (const RowEntry& e : entries)
        if (!std::isfinite(e.value)) return false;
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

void LiveColumnBasis::find_irregular_rows() {
    irregular_.clear();
    for (std::size_t r = 0; r < pivots_.size(); ++r)
        if (owner_of_[pivots_[r]] != r) irregular_.push_back(r);
    irregular_stale_ = false;
}

LiveColumnBasis::Verdict LiveColumnBasis::process() {
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
            resume_row_ = dense_work();
            resume_at_ = r;
            return Verdict::dense;
        }
        subtract_scaled(live_.data(), b, f, col_of_slot_.size());
        if (slot_of_[p] == none && owner_of_[p] == r) dead_[p] = dead_[p] - pivot_value_[r] * f;
    }

    // The pivot, among the live columns and the touched dead ones.
    PivotChoice pivot;
    for (std::size_t s = 0; s < col_of_slot_.size(); ++s) pivot.offer(col_of_slot_[s], live_[s], tol_);
    for (std::size_t k : touched_) pivot.offer(k, dead_[k], tol_);
    if (pivot.col == PivotChoice::none) return Verdict::dependent;
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
    return Verdict::independent;
}

// The factors with which the pending rows after r are subtracted from row r,
// in order: each is row r's entry at that row's pivot column after the
// earlier subtractions, and only those that count as non-zero are applied.
// False when one is non-finite, which only the dense sweep reproduces.
bool LiveColumnBasis::pending_factors(std::size_t r) {
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
void LiveColumnBasis::apply_updates(double* target, const Update* updates, std::size_t count, std::size_t m) const {
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
const double* LiveColumnBasis::current_row(std::size_t r) {
    if (!pending_factors(r)) return nullptr;
    if (updates_.empty()) return basis_row(r);
    const std::size_t m = col_of_slot_.size();
    scratch_.assign(basis_row(r), basis_row(r) + m);
    apply_updates(scratch_.data(), updates_.data(), updates_.size(), m);
    return scratch_.data();
}

// Applies every pending back-substitution, then retires the pending pivot
// columns that are now zero in every other row.
void LiveColumnBasis::flush() {
    if (pending_.empty() || needs_dense_) return;
    const std::size_t rank = pivots_.size();
    const std::size_t m = col_of_slot_.size();
    // All factors first: the pending rows must stay as accepted until every
    // row has read them, and a non-finite factor sends everything dense.
    flush_updates_.clear();
    flush_start_.assign(1, 0);
    for (std::size_t r = 0; r < rank; ++r) {
        if (!pending_factors(r)) {
            needs_dense_ = true;
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
void LiveColumnBasis::revive(std::size_t col) {
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
void LiveColumnBasis::retire(std::size_t col, std::size_t owner) {
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

double LiveColumnBasis::entry(std::size_t r, std::size_t col) const noexcept {
    if (slot_of_[col] != none) return basis_row(r)[slot_of_[col]];
    return owner_of_[col] == r ? pivot_value_[r] : 0.0;
}

std::vector<double> LiveColumnBasis::dense_work() const {
    std::vector<double> row(ncols_);
    for (std::size_t k = 0; k < ncols_; ++k) row[k] = work_value(k);
    return row;
}

std::vector<std::vector<double>> LiveColumnBasis::stored_rows() const {
    std::vector<std::vector<double>> out(pivots_.size(), std::vector<double>(ncols_));
    for (std::size_t r = 0; r < pivots_.size(); ++r)
        for (std::size_t k = 0; k < ncols_; ++k) out[r][k] = entry(r, k);
    return out;
}

void LiveColumnBasis::hand_over(DenseBasis& dense) {
    const std::vector<std::vector<double>> stored = stored_rows();  // before the pivots move out
    dense.adopt(stored, std::move(pivots_), pending_);
    *this = LiveColumnBasis(0, tol_);
}

}  // namespace korvale

#include "rank/rank_tracker.hpp"

#include <algorithm>
#include <string>

#include "core/failure.hpp"
#include "rank/row_kernels.hpp"

namespace korvale {

namespace {

// Row widths below which the plain dense sweep is the faster one (measured
// with the C++ benchmarks: 20 nodes in the plane 2.4x faster dense, 100
// nodes about even).
constexpr std::size_t dense_below = 160;

[[noreturn]] void wrong_width(std::size_t got, std::size_t want) {
    internal_failure("Row length " + std::to_string(got) + " does not match ncols " + std::to_string(want));
}

}  // namespace

RankTracker::RankTracker(std::size_t ncols, double tol, Layout layout) : ncols_(ncols), dense_(ncols, tol) {
    // With tol < 0 (or NaN) zeros take part in the decisions, and only the
    // plain sweep reproduces them exactly. Narrow rows are faster that way
    // too: the bookkeeping of live columns costs more than it saves.
    const bool narrow = layout == Layout::automatic && ncols < dense_below;
    if (!(tol >= 0.0) || narrow || layout == Layout::dense)
        dense_.reserve(std::min<std::size_t>(ncols, 64) + 1);
    else
        live_.emplace(ncols, tol);
}

void RankTracker::go_dense() {
    live_->hand_over(dense_);
    live_.reset();
}

template <class WriteOffered>
bool RankTracker::add_live(std::span<const RowEntry> entries, WriteOffered&& write_offered) {
    const LiveColumnBasis::Verdict verdict = live_->add_row(entries);
    if (verdict != LiveColumnBasis::Verdict::dense) {
        if (live_->needs_dense()) go_dense();
        return verdict == LiveColumnBasis::Verdict::independent;
    }
    const std::vector<double> resumed = live_->resume_row();
    const std::size_t first = live_->resume_at();
    go_dense();
    double* x = dense_.next_row();
    if (resumed.empty())
        write_offered(x);
    else
        std::copy(resumed.begin(), resumed.end(), x);
    return dense_.process(first);
}

bool RankTracker::add_row(std::vector<double> row) {
    if (row.size() != ncols_) wrong_width(row.size(), ncols_);
    const auto write_row = [&](double* x) { std::copy(row.begin(), row.end(), x); };
    if (live_) {
        entries_.clear();
        for (std::size_t k = 0; k < ncols_; ++k)
            if (row[k] != 0.0 || row[k] != row[k]) entries_.push_back({k, row[k]});
        return add_live(entries_, write_row);
    }
    write_row(dense_.next_row());
    return dense_.process(0);
}

bool RankTracker::add_row(std::span<const RowEntry> entries) {
    for (const RowEntry& e : entries)
        if (e.col >= ncols_) index_out_of_bounds(ncols_, e.col);
    const auto write_entries = [&](double* x) {
        clear_row(x, ncols_);
        for (const RowEntry& e : entries) x[e.col] = e.value;
    };
    if (live_) return add_live(entries, write_entries);
    write_entries(dense_.next_row());
    return dense_.process(0);
}

std::vector<std::vector<double>> RankTracker::rows() {
    if (live_) {
        live_->flush();
        if (!live_->needs_dense()) return live_->stored_rows();
        go_dense();
    }
    return dense_.rows();
}

}  // namespace korvale

#include "rank/rank_tracker.hpp"

#include <string>

#include "core/failure.hpp"

namespace korvale {

namespace {

// target[k] -= source[k] * factor over every column: one rounded product and
// one rounded subtraction per entry.
void subtract_scaled(double* __restrict target, const double* __restrict source, double factor,
                     std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) target[k] = target[k] - source[k] * factor;
}

}  // namespace

bool RankTracker::add_row(std::vector<double> row) {
    if (row.size() != ncols_)
        internal_failure("Row length " + std::to_string(row.size()) + " does not match ncols " +
                         std::to_string(ncols_));
    double* x = row.data();

    // Forward elimination in acceptance order; a basis row whose pivot entry
    // counts as zero is skipped and that entry keeps its small value.
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        const double f = x[pivots_[r]];
        if (nonzero(f)) subtract_scaled(x, rows_[r].data(), f, ncols_);
    }

    // The first column that counts as non-zero, not the largest.
    std::size_t c = 0;
    while (c < ncols_ && !nonzero(x[c])) ++c;
    if (c == ncols_) return false;

    const double v = x[c];
    for (std::size_t k = 0; k < ncols_; ++k) x[k] = x[k] / v;

    for (std::size_t r = 0; r < rows_.size(); ++r) {
        const double g = rows_[r][c];
        if (nonzero(g)) subtract_scaled(rows_[r].data(), x, g, ncols_);
    }

    pivots_.push_back(c);
    rows_.push_back(std::move(row));
    return true;
}

}  // namespace korvale

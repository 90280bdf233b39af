#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

namespace korvale {

// Answers, one row at a time, whether a row is linearly independent of the
// rows accepted so far, up to an absolute tolerance: |x| > tol counts as
// non-zero (strictly; NaN never does). Accepted rows are kept normalised on
// their pivot and cleared in the pivot columns of later rows, so a test is a
// single sweep against the basis and nothing is ever refactorised.
//
// Every operation is one IEEE double operation in the order written, the
// product rounded before it is subtracted: the answers are training labels
// and must be the same bits on every machine.
class RankTracker {
public:
    RankTracker(std::size_t ncols, double tol) : ncols_(ncols), tol_(tol) {}

    // Takes the row. True: it was independent and is now part of the basis.
    // False: it was dependent, and the tracker is unchanged.
    bool add_row(std::vector<double> row);

    std::size_t rank() const noexcept { return rows_.size(); }
    std::size_t ncols() const noexcept { return ncols_; }
    double tol() const noexcept { return tol_; }
    const std::vector<std::vector<double>>& rows() const noexcept { return rows_; }
    const std::vector<std::size_t>& pivots() const noexcept { return pivots_; }

private:
    bool nonzero(double x) const noexcept { return std::fabs(x) > tol_; }

    std::vector<std::vector<double>> rows_;
    std::vector<std::size_t> pivots_;
    std::size_t ncols_;
    double tol_;
};

}  // namespace korvale

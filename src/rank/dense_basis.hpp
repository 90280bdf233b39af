// The plain algorithm's basis: accepted rows stored whole, one after
// another, each new row eliminated against them in acceptance order, then
// normalised on its pivot and back-substituted into all of them at once
// (row_kernels.hpp holds the loops). Exact for every tolerance and every
// value, zeros and non-finite ones included.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "rank/row_kernels.hpp"

namespace korvale {

class DenseBasis {
public:
    DenseBasis(std::size_t ncols, double tol) : ncols_(ncols), tol_(tol) {}

    // Room for `rows` basis rows, the rows kept. Grown by hand rather than as
    // a std::vector: resizing a vector would zero rows that are written
    // before they are read anyway.
    void reserve(std::size_t rows);

    // The row after the basis, where the caller writes the next row.
    double* next_row() {
        if (pivots_.size() + 1 > capacity_) reserve(pivots_.size() + 1);
        return row(pivots_.size());
    }

    // The plain algorithm on that row, from elimination row first_eliminated
    // on. True: the row was independent and is now in the basis (in place:
    // accepting it only records its pivot).
    bool process(std::size_t first_eliminated) {
        const std::size_t rank = pivots_.size();
        const std::size_t c =
            reduce_row(row(rank), buffer_.get(), pivots_.data(), first_eliminated, rank, ncols_, tol_);
        if (c == ncols_) return false;
        pivots_.push_back(c);
        return true;
    }

    std::size_t rank() const noexcept { return pivots_.size(); }
    const std::vector<std::size_t>& pivots() const noexcept { return pivots_; }
    std::vector<std::vector<double>> rows() const;

    // Takes over a basis kept in another layout: its rows as stored, with
    // their pivot columns, of which `pending` (in acceptance order) still
    // owe their back-substitution into the older rows. That is replayed as
    // the plain algorithm made it: row by row in acceptance order, each
    // pending row still as accepted when its turn comes.
    void adopt(const std::vector<std::vector<double>>& stored, std::vector<std::size_t> pivots,
               const std::vector<std::size_t>& pending);

private:
    double* row(std::size_t r) noexcept { return buffer_.get() + r * ncols_; }
    const double* row(std::size_t r) const noexcept { return buffer_.get() + r * ncols_; }

    std::size_t ncols_;
    double tol_;
    std::vector<std::size_t> pivots_;
    std::unique_ptr<double[]> buffer_;  // room for capacity_ rows
    std::size_t capacity_ = 0;
};

}  // namespace korvale

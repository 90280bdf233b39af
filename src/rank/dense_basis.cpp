#include "rank/dense_basis.hpp"

#include <algorithm>

#include "core/failure.hpp"

namespace korvale {

void DenseBasis::reserve(std::size_t rows) {
    if (rows <= capacity_) return;
    const std::size_t grown = std::max(rows, 2 * capacity_);
    std::unique_ptr<double[]> buffer(new double[checked_capacity(grown, ncols_, sizeof(double))]);
    std::copy_n(buffer_.get(), std::min(pivots_.size(), capacity_) * ncols_, buffer.get());
    buffer_ = std::move(buffer);
    capacity_ = grown;
    pivots_.reserve(grown);
}

std::vector<std::vector<double>> DenseBasis::rows() const {
    std::vector<std::vector<double>> out;
    for (std::size_t r = 0; r < pivots_.size(); ++r) out.emplace_back(row(r), row(r) + ncols_);
    return out;
}

void DenseBasis::adopt(const std::vector<std::vector<double>>& stored, std::vector<std::size_t> pivots,
                       const std::vector<std::size_t>& pending) {
    reserve(stored.size() + 1);
    for (std::size_t r = 0; r < stored.size(); ++r) std::copy(stored[r].begin(), stored[r].end(), row(r));
    pivots_ = std::move(pivots);
    for (std::size_t t : pending) back_substitute_rows(buffer_.get(), row(t), pivots_[t], 0, t, ncols_, tol_);
}

}  // namespace korvale

#include "rigidity/rigidity_row.hpp"

namespace korvale {

void rigidity_entries(const CoordinateMatrix& coords, std::size_t i, std::size_t j, std::vector<RowEntry>& out) {
    const std::size_t n = coords.rows, d = coords.cols;
    if (i >= n) index_out_of_bounds(n, i);
    if (j >= n) index_out_of_bounds(n, j);
    const double* pi = coords.row(i);
    const double* pj = coords.row(j);

    out.resize(2 * d);
    for (std::size_t k = 0; k < d; ++k) {
        const double diff = pi[k] - pj[k];
        out[k] = {i * d + k, diff};
        out[d + k] = {j * d + k, -diff};
    }
}

}  // namespace korvale

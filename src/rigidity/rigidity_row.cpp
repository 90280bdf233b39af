#include "rigidity/rigidity_row.hpp"

namespace korvale {

RigidityRow rigidity_row(const NodeList& nodes, std::size_t n, std::size_t i, std::size_t j) {
    if (i >= n) index_out_of_bounds(n, i);
    if (j >= n) index_out_of_bounds(n, j);
    const std::vector<double>& pi = checked_at(nodes, i).coords;
    const std::vector<double>& pj = checked_at(nodes, j).coords;
    const std::size_t d = pi.size();
    if (pj.size() != d) internal_failure("Nodes must all have the same dimension");

    RigidityRow row{std::vector<double>(checked_capacity(n, d, sizeof(double)), 0.0), Edge{i, j}};
    double* out = row.values.data();
    for (std::size_t k = 0; k < d; ++k) {
        const double diff = pi[k] - pj[k];
        out[i * d + k] = diff;
        out[j * d + k] = -diff;
    }
    return row;
}

}  // namespace korvale

#include "rigidity/rigidity_row.hpp"

namespace korvale {

void rigidity_entries(const NodeList& nodes, std::size_t n, std::size_t i, std::size_t j,
                      std::vector<RowEntry>& out) {
    if (i >= n) index_out_of_bounds(n, i);
    if (j >= n) index_out_of_bounds(n, j);
    const std::vector<double>& pi = checked_at(nodes, i).coords;
    const std::vector<double>& pj = checked_at(nodes, j).coords;
    const std::size_t d = pi.size();
    if (pj.size() != d) internal_failure("Nodes must all have the same dimension");
    checked_capacity(n, d, sizeof(double));

    out.resize(2 * d);
    for (std::size_t k = 0; k < d; ++k) {
        const double diff = pi[k] - pj[k];
        out[k] = {i * d + k, diff};
        out[d + k] = {j * d + k, -diff};
    }
}

RigidityRow rigidity_row(const NodeList& nodes, std::size_t n, std::size_t i, std::size_t j) {
    std::vector<RowEntry> entries;
    rigidity_entries(nodes, n, i, j, entries);
    const std::size_t d = entries.size() / 2;
    RigidityRow row{std::vector<double>(n * d, 0.0), Edge{i, j}};
    for (const RowEntry& e : entries) row.values[e.col] = e.value;
    return row;
}

}  // namespace korvale

#pragma once

#include <cstddef>
#include <vector>

#include "core/records.hpp"
#include "rank/sparse_row.hpp"

namespace korvale {

// The entries of the rigidity-matrix row of bar (i, j) of the n = coords.rows
// nodes in d = coords.cols dimensions, outside which it is +0.0: node i's block holds p_i - p_j at columns i*d .. i*d+d-1, node j's
// block p_j - p_i (the same differences with the sign bit flipped, so a zero
// difference is +0.0 in i's block and -0.0 in j's). Raw differences, no
// scaling. Written into out, which is reused from row to row.
void rigidity_entries(const CoordinateMatrix& coords, std::size_t i, std::size_t j, std::vector<RowEntry>& out);

}  // namespace korvale

#pragma once

#include <cstddef>
#include <vector>

#include "core/records.hpp"

namespace korvale {

struct RigidityRow {
    std::vector<double> values;  // n*d entries, node-major columns
    Edge edge;
};

// The rigidity-matrix row of bar (i, j): node i's block holds p_i - p_j,
// node j's block holds p_j - p_i (the same differences with the sign bit
// flipped, so a zero difference is +0.0 in i's block and -0.0 in j's), every
// other entry +0.0. Raw differences, no scaling.
RigidityRow rigidity_row(const NodeList& nodes, std::size_t n, std::size_t i, std::size_t j);

}  // namespace korvale

#pragma once

#include <cstdint>

#include "core/records.hpp"
#include "lib/arguments.hpp"

namespace korvale::py {

// Checks coords against d (column count, then d itself, then at least d+1
// rows; each failure a ValueError) and copies it into a matrix, reading
// through the array's strides. Runs with the interpreter lock held.
CoordinateMatrix coords_argument(const MatrixView& coords, std::uint64_t d);

}  // namespace korvale::py

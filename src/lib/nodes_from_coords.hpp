#pragma once

#include <cstdint>

#include "core/records.hpp"
#include "lib/arguments.hpp"

namespace korvale::py {

// Checks coords against d (column count, then d itself, then at least d+1
// rows; each failure a ValueError) and copies every row into a node list,
// reading through the array's strides. Runs with the interpreter lock held.
NodeList nodes_from_coords(const MatrixView& coords, std::uint64_t d);

}  // namespace korvale::py

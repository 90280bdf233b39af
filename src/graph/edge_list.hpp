// An edge list given by a caller, checked once: every node id in 0..n-1 and
// no loops. Parallel edges are allowed. Edges keep the caller's order and
// orientation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/memory.hpp"
#include "core/records.hpp"

namespace korvale {

// The bytes of a checked copy of m edges.
inline Bytes edge_list_bytes(std::size_t m) { return Bytes(m) * sizeof(Edge); }

// pairs holds m rows of two ids (row-major). Throws InputError naming the
// first offending row: "edge 7 = (3, 12) has a node outside 0..9",
// "edge 2 = (4, 4) is a loop".
EdgeList checked_edges(std::size_t n, const std::int64_t* pairs, std::size_t m);
EdgeList checked_edges(std::size_t n, const std::uint64_t* pairs, std::size_t m);

}  // namespace korvale

// A fill-reducing order of a graph's nodes: nested dissection (METIS), which
// numbers each separator after the two parts it separates, so that an
// elimination in that order fills in only within the separators' fronts.
// The order changes how fast an elimination runs, never what it finds.
#pragma once

#include <cstdint>
#include <vector>

namespace korvale {

// The graph in compressed rows: node x's distinct neighbours (never x) are
// adjacency[start[x] .. start[x+1]). Returns order[k] = the node eliminated
// k-th. The same graph gives the same order on every run (the partitioner's
// seed is fixed); a graph too large for the partitioner's 32-bit indices
// keeps the natural order.
std::vector<std::uint32_t> nested_dissection_order(const std::vector<std::uint64_t>& start,
                                                   const std::vector<std::uint32_t>& adjacency);

}  // namespace korvale

#pragma once

#include <cstddef>

#include "core/records.hpp"

namespace korvale {

// Number of pairs of n nodes, n(n-1)/2; "capacity overflow" when the edge
// list of that length could not be addressed.
std::size_t edge_count(std::size_t n);

// All pairs (i, j), i < j, in lexicographic order: the order in which bars
// are offered, labelled and reported.
EdgeList candidate_edges(std::size_t n);

}  // namespace korvale

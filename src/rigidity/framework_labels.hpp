// Numeric incremental-rank labels of a given framework over any edge list,
// by the same rank tracker and tolerance rule as the complete-graph
// labelling (rigidity/labelling.hpp), which it calls.
#pragma once

#include <cstdint>

#include "core/memory.hpp"
#include "core/records.hpp"

namespace korvale {

struct FrameworkLabels {
    Labels labels;
    std::uint64_t rank = 0;
    std::uint64_t max_rank = 0;
};

// coords: n x d (d >= 1); node ids of edges in 0..n-1, no loops.
FrameworkLabels label_framework(const CoordinateMatrix& coords, const EdgeList& edges, double tol);

// What label_framework holds beside its inputs for n nodes in d dimensions
// and m edges: the node list, the labels and the tracker's basis.
Bytes framework_label_bytes(std::size_t n, std::size_t d, std::size_t m);

}  // namespace korvale

#pragma once

#include "core/records.hpp"

namespace korvale {

// Euclidean distances between all pairs of nodes. Every entry is computed,
// both triangles and the diagonal: (x_a - x_b)^2 and (x_b - x_a)^2 are the
// same value summed in the same order, so the result is exactly symmetric
// without mirroring, and non-finite coordinates reach every entry they touch.
DistanceMatrix pairwise_distances(const CoordinateMatrix& coords);

}  // namespace korvale

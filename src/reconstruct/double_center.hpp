#pragma once

#include "core/records.hpp"

namespace korvale {

// Gram matrix of the points behind a square distance matrix, centred on
// their centroid: G = -1/2 * H * S * H with S the squared distances. Row
// means stand for column means as well, so a non-symmetric input is centred
// by its rows. Each sum runs in index order into one accumulator.
Matrix double_center(const DistanceMatrix& dist);

// n x n matrices of doubles, with the "capacity overflow" guard.
std::size_t square_bytes(std::size_t n, std::size_t count);

}  // namespace korvale

#pragma once

#include <cstdint>
#include <vector>

#include "core/records.hpp"

namespace korvale {

struct EigenDecomposition {
    std::vector<double> values;  // descending
    Matrix vectors;              // column k belongs to values[k]; the first `vectors` only
    std::uint64_t rotations = 0;
};

// Classical (non-cyclic) Jacobi: every step annihilates the largest
// off-diagonal element of the strict upper triangle (the first one in
// row-major order among equals; NaN never) by one plane rotation, until all
// are below 1e-12 in magnitude. Eigenpairs are then ordered by a stable
// descending insertion sort. Only atan, cos and sin are used, so the bits are
// the same everywhere.
//
// rotation_limit stops inputs that cannot converge (infinities keep
// producing pivots); 0 selects the default, safety_rotation_limit(n).
// `vectors` limits the eigenvectors copied out to those of the largest
// values (all values are returned).
EigenDecomposition jacobi_eigen(const Matrix& a0, std::uint64_t rotation_limit = 0,
                                std::size_t vectors = static_cast<std::size_t>(-1));

// max(500, 32 n^2): far above what any finite matrix of n rows needs.
std::uint64_t safety_rotation_limit(std::size_t n);

}  // namespace korvale

#pragma once

#include <cstdint>
#include <vector>

#include "core/records.hpp"

namespace korvale {

struct ReconstructionResult {
    CoordinateMatrix coords;           // n x d
    double stress = 0.0;               // Kruskal's normalised stress-1
    std::vector<double> eigenvalues;   // the d largest, unclamped
    bool is_isometric = false;         // tol > stress
};

// Classical multidimensional scaling: Gram matrix by double centring, its
// eigenpairs by Jacobi, coordinates sqrt(max(lambda_k, 0)) * v_k from the d
// largest. Fails (internal failure) for d other than 2 or 3, then for n <= d.
ReconstructionResult classical_mds(const DistanceMatrix& dist, std::uint64_t d, double tol);

// sqrt(sum (delta - dhat)^2 / sum delta^2) over pairs i < j of the upper
// triangle of dist, or 0.0 when the denominator is below 1e-15.
double kruskal_stress(const DistanceMatrix& dist, const CoordinateMatrix& coords);

}  // namespace korvale

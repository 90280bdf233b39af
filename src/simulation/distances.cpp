#include "simulation/distances.hpp"

#include <cmath>

namespace korvale {

namespace {

double distance(const double* xa, const double* xb, std::size_t d) {
    double s = 0.0;
    for (std::size_t c = 0; c < d; ++c) {
        const double t = xa[c] - xb[c];
        s = s + t * t;
    }
    return std::sqrt(s);
}

bool all_finite(const CoordinateMatrix& coords) {
    for (double x : coords.data)
        if (!std::isfinite(x)) return false;
    return true;
}

}  // namespace

DistanceMatrix pairwise_distances(const CoordinateMatrix& coords) {
    const std::size_t n = coords.rows;
    DistanceMatrix dist(n, n);
    // For finite coordinates a - b is exactly -(b - a), so both orders give
    // the same square, sum and root: one triangle is computed and mirrored.
    // Otherwise (NaN payloads of a - b and b - a can differ) every entry is
    // computed in its own order.
    const bool mirror = all_finite(coords);
    for (std::size_t a = 0; a < n; ++a) {
        double* out = dist.row(a);
        for (std::size_t b = mirror ? a : 0; b < n; ++b) {
            out[b] = distance(coords.row(a), coords.row(b), coords.cols);
            if (mirror) dist(b, a) = out[b];
        }
    }
    return dist;
}

}  // namespace korvale

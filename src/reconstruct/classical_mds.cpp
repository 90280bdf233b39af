#include "reconstruct/classical_mds.hpp"

#include <cmath>

#include "core/failure.hpp"
#include "core/interrupt.hpp"
#include "reconstruct/double_center.hpp"
#include "reconstruct/jacobi_eigen.hpp"

namespace korvale {

double kruskal_stress(const DistanceMatrix& dist, const CoordinateMatrix& coords) {
    const std::size_t n = dist.rows, d = coords.cols;
    double num = 0.0, den = 0.0;
    InterruptPoll poll;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        poll(4 * d * (n - i));
        const double* xi = coords.row(i);
        for (std::size_t j = i + 1; j < n; ++j) {
            const double* xj = coords.row(j);
            const double delta = dist(i, j);
            const double t0 = xi[0] - xj[0];
            double e = t0 * t0;
            for (std::size_t k = 1; k < d; ++k) {
                const double t = xi[k] - xj[k];
                e = e + t * t;
            }
            const double r = delta - std::sqrt(e);
            num = num + r * r;
            den = den + delta * delta;
        }
    }
    if (den < 1e-15) return 0.0;
    return std::sqrt(num / den);
}

ReconstructionResult classical_mds(const DistanceMatrix& dist, std::uint64_t d, double tol) {
    const std::size_t n = dist.rows;
    if (d != 2 && d != 3) internal_failure("Only d=2 and d=3 are supported");
    if (n <= d) internal_failure("Need at least d+1 nodes to reconstruct in d dimensions");

    const EigenDecomposition eigen = jacobi_eigen(double_center(dist), 0, d);
    ReconstructionResult out;
    out.coords = CoordinateMatrix(n, d);
    for (std::size_t k = 0; k < d; ++k) {
        const double lambda = eigen.values[k];
        const double scale = std::sqrt(lambda > 0.0 ? lambda : 0.0);  // NaN and -0.0 give +0.0
        for (std::size_t i = 0; i < n; ++i) out.coords(i, k) = scale * eigen.vectors(i, k);
    }
    out.stress = kruskal_stress(dist, out.coords);
    out.eigenvalues.assign(eigen.values.begin(), eigen.values.begin() + static_cast<std::ptrdiff_t>(d));
    out.is_isometric = tol > out.stress;
    return out;
}

}  // namespace korvale

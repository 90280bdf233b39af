#include "simulation/distances.hpp"

#include <algorithm>
#include <cmath>

namespace korvale {

DistanceMatrix pairwise_distances(const NodeList& nodes) {
    const std::size_t n = nodes.size();
    DistanceMatrix dist(n, n);
    for (std::size_t a = 0; a < n; ++a) {
        const std::vector<double>& xa = nodes[a].coords;
        double* out = dist.row(a);
        for (std::size_t b = 0; b < n; ++b) {
            const std::vector<double>& xb = nodes[b].coords;
            const std::size_t m = std::min(xa.size(), xb.size());
            double s = 0.0;
            for (std::size_t c = 0; c < m; ++c) {
                const double t = xa[c] - xb[c];
                s = s + t * t;
            }
            out[b] = std::sqrt(s);
        }
    }
    return dist;
}

}  // namespace korvale

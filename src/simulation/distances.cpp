#include "simulation/distances.hpp"

#include <algorithm>
#include <cmath>

namespace korvale {

namespace {

double distance(const std::vector<double>& xa, const std::vector<double>& xb) {
    const std::size_t m = std::min(xa.size(), xb.size());
    double s = 0.0;
    for (std::size_t c = 0; c < m; ++c) {
        const double t = xa[c] - xb[c];
        s = s + t * t;
    }
    return std::sqrt(s);
}

bool all_finite(const NodeList& nodes) {
    for (const Node& node : nodes)
        for (double x : node.coords)
            if (!std::isfinite(x)) return false;
    return true;
}

}  // namespace

DistanceMatrix pairwise_distances(const NodeList& nodes) {
    const std::size_t n = nodes.size();
    DistanceMatrix dist(n, n);
    // For finite coordinates a - b is exactly -(b - a), so both orders give
    // the same square, sum and root: one triangle is computed and mirrored.
    // Otherwise (NaN payloads of a - b and b - a can differ) every entry is
    // computed in its own order.
    const bool mirror = all_finite(nodes);
    for (std::size_t a = 0; a < n; ++a) {
        double* out = dist.row(a);
        for (std::size_t b = mirror ? a : 0; b < n; ++b) {
            out[b] = distance(nodes[a].coords, nodes[b].coords);
            if (mirror) dist(b, a) = out[b];
        }
    }
    return dist;
}

}  // namespace korvale

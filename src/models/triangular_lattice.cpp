#include <cmath>
#include <string>

#include "core/memory.hpp"
#include "models/graph_models.hpp"
#include "random/sampling.hpp"

namespace korvale {

GraphSample triangular_lattice(std::size_t side, double p, bool periodic, Engine& engine) {
    if (!(p >= 0.0 && p <= 1.0)) throw InputError("p must lie in [0, 1], got " + std::to_string(p));
    if (periodic && side > 0 && side < 3) throw InputError("a periodic lattice needs L >= 3, got " + std::to_string(side));
    if (side > 0xFFFF) throw InputError("L must be below 65536, got " + std::to_string(side));
    const std::size_t n = side * side;
    // At most 3 bonds a node, each kept with probability p: the list is
    // reserved for the bonds expected, with room for chance (it is shuffled
    // in place and handed over as it is), beside the coordinates.
    const auto room = static_cast<std::size_t>(std::fmin(3.0 * static_cast<double>(n) * p * 1.05 + 1024.0,
                                                         3.0 * static_cast<double>(n)));
    require_memory(Bytes(n) * (2 * sizeof(double)) + Bytes(room) * sizeof(Edge));
    GraphSample out;
    out.edges.reserve(room);
    out.coords = CoordinateMatrix(n, 2);
    const double height = 0.8660254037844386;  // sqrt(3)/2
    const long L = static_cast<long>(side);
    for (long y = 0; y < L; ++y) {
        for (long x = 0; x < L; ++x) {
            const std::size_t id = static_cast<std::size_t>(y * L + x);
            out.coords(id, 0) = static_cast<double>(x) + 0.5 * static_cast<double>(y);
            out.coords(id, 1) = static_cast<double>(y) * height;
            const long steps[3][2] = {{1, 0}, {0, 1}, {-1, 1}};
            for (const auto& step : steps) {
                long nx = x + step[0], ny = y + step[1];
                if (periodic) {
                    nx = (nx + L) % L;
                    ny = (ny + L) % L;
                } else if (nx < 0 || nx >= L || ny >= L) {
                    continue;
                }
                const auto other = static_cast<std::size_t>(ny * L + nx);
                // Every candidate bond takes one draw, kept or not, so that
                // the bits do not depend on p's value elsewhere.
                if (engine.uniform() < p) out.edges.push_back(id < other ? Edge{id, other} : Edge{other, id});
            }
        }
    }
    shuffle(out.edges, engine);
    return out;
}

}  // namespace korvale

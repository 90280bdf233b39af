#include <cmath>
#include <string>

#include "core/memory.hpp"
#include "models/graph_models.hpp"
#include "random/sampling.hpp"

namespace korvale {

namespace {

// A cubic lattice of L^3 conventional cells, each holding the basis sites
// (in half cell edges: every coordinate 0 or 1), and the nearest-neighbour
// offsets (in half cell edges) of which every bond takes exactly one: the
// bonds of node s are s + offset for each offset, minus offset being the
// same bond seen from the other end.
struct CubicLattice {
    const char* name;
    std::size_t sites;
    int basis[4][3];
    std::size_t offsets;
    int offset[6][3];
};

constexpr CubicLattice fcc{"fcc", 4, {{0, 0, 0}, {1, 1, 0}, {1, 0, 1}, {0, 1, 1}}, 6,
                           {{1, 1, 0}, {1, -1, 0}, {1, 0, 1}, {1, 0, -1}, {0, 1, 1}, {0, 1, -1}}};
constexpr CubicLattice bcc{"bcc", 2, {{0, 0, 0}, {1, 1, 1}}, 4, {{1, 1, 1}, {1, 1, -1}, {1, -1, 1}, {1, -1, -1}}};

GraphSample cubic_lattice(const CubicLattice& lattice, std::size_t side, double p, bool periodic, Engine& engine) {
    if (!(p >= 0.0 && p <= 1.0)) throw InputError("p must lie in [0, 1], got " + std::to_string(p));
    if (periodic && side == 1)
        throw InputError(std::string("a periodic ") + lattice.name + " lattice needs L >= 2, got 1");
    if (side > 1023) throw InputError("L must be at most 1023, got " + std::to_string(side));
    const std::size_t cells = side * side * side, n = cells * lattice.sites, bonds = n * lattice.offsets;
    const auto room = static_cast<std::size_t>(
        std::fmin(static_cast<double>(bonds) * p * 1.05 + 1024.0, static_cast<double>(bonds)));
    require_memory(Bytes(n) * (3 * sizeof(double)) + Bytes(room) * sizeof(Edge));
    GraphSample out;
    out.edges.reserve(room);
    out.coords = CoordinateMatrix(n, 3);
    const long L = static_cast<long>(side), extent = 2 * L;
    // The site at half-edge position (X, Y, Z), if the lattice has one.
    auto site_at = [&](long X, long Y, long Z) -> long {
        for (std::size_t b = 0; b < lattice.sites; ++b)
            if ((X & 1) == lattice.basis[b][0] && (Y & 1) == lattice.basis[b][1] && (Z & 1) == lattice.basis[b][2])
                return static_cast<long>(lattice.sites) * (((Z >> 1) * L + (Y >> 1)) * L + (X >> 1)) +
                       static_cast<long>(b);
        return -1;
    };
    for (long z = 0; z < L; ++z)
        for (long y = 0; y < L; ++y)
            for (long x = 0; x < L; ++x)
                for (std::size_t b = 0; b < lattice.sites; ++b) {
                    const long X = 2 * x + lattice.basis[b][0], Y = 2 * y + lattice.basis[b][1],
                               Z = 2 * z + lattice.basis[b][2];
                    const auto id = static_cast<std::size_t>(site_at(X, Y, Z));
                    out.coords(id, 0) = 0.5 * static_cast<double>(X);
                    out.coords(id, 1) = 0.5 * static_cast<double>(Y);
                    out.coords(id, 2) = 0.5 * static_cast<double>(Z);
                    for (std::size_t o = 0; o < lattice.offsets; ++o) {
                        long nx = X + lattice.offset[o][0], ny = Y + lattice.offset[o][1], nz = Z + lattice.offset[o][2];
                        if (periodic) {
                            nx = (nx + extent) % extent;
                            ny = (ny + extent) % extent;
                            nz = (nz + extent) % extent;
                        } else if (nx < 0 || nx >= extent || ny < 0 || ny >= extent || nz < 0 || nz >= extent) {
                            continue;
                        }
                        const auto other = static_cast<std::size_t>(site_at(nx, ny, nz));
                        // One draw per candidate bond, kept or not (as on the
                        // triangular lattice).
                        if (engine.uniform() < p) out.edges.push_back(id < other ? Edge{id, other} : Edge{other, id});
                    }
                }
    shuffle(out.edges, engine);
    return out;
}

}  // namespace

GraphSample fcc_lattice(std::size_t side, double p, bool periodic, Engine& engine) {
    return cubic_lattice(fcc, side, p, periodic, engine);
}

GraphSample bcc_lattice(std::size_t side, double p, bool periodic, Engine& engine) {
    return cubic_lattice(bcc, side, p, periodic, engine);
}

}  // namespace korvale

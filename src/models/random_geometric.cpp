#include <algorithm>
#include <cmath>
#include <string>

#include "core/interrupt.hpp"
#include "core/memory.hpp"
#include "models/graph_models.hpp"
#include "random/sampling.hpp"

namespace korvale {

// The probability that two uniform points of the unit square (d = 2) or
// cube (d = 3) lie within distance r: the ball's volume weighted by the
// overlap of the box with its shift, (4/3 pi r^3 - 3/2 pi r^4 + 8/5 r^5 -
// r^6/6 in the cube, pi r^2 - 8/3 r^3 + r^4/2 in the square, for r <= 1),
// and 1 beyond (an overestimate by at most a tenth). Periodic: the ball's
// volume, exact up to r = 1/2.
double geometric_pair_probability(double r, std::size_t d, bool periodic) {
    constexpr double pi = 3.141592653589793;
    double p = 0.0;
    if (periodic)
        p = d == 2 ? pi * r * r : 4.0 / 3.0 * pi * r * r * r;
    else if (r > 1.0)
        p = 1.0;
    else if (d == 2)
        p = pi * r * r - 8.0 / 3.0 * r * r * r + 0.5 * r * r * r * r;
    else
        p = 4.0 / 3.0 * pi * r * r * r - 1.5 * pi * r * r * r * r + 1.6 * r * r * r * r * r -
            r * r * r * r * r * r / 6.0;
    return std::clamp(p, 0.0, 1.0);
}

GraphSample random_geometric(std::size_t n, double radius, std::size_t d, bool periodic, Engine& engine) {
    if (d != 2 && d != 3) throw InputError("d must be 2 or 3, got " + std::to_string(d));
    if (!(radius >= 0.0) || !std::isfinite(radius))
        throw InputError("radius must be a finite number >= 0, got " + std::to_string(radius));
    // The edges expected, with room for chance, are the bulk: the list is
    // reserved at once (it is shuffled in place and handed over as it is).
    const double pairs = 0.5 * static_cast<double>(n) * static_cast<double>(n > 0 ? n - 1 : 0);
    const double expected = pairs * geometric_pair_probability(radius, d, periodic);
    const auto room = static_cast<std::size_t>(std::fmin(expected * 1.05 + 1024.0, std::fmin(pairs, 1e18)));
    const auto checked = static_cast<std::size_t>(std::fmin(expected * 1.1 + 1024.0, 1e18));
    // The coordinates, and the cell grid: a cell per point, its members,
    // the start of each cell.
    require_memory(Bytes(n) * (d * sizeof(double) + 3 * sizeof(std::size_t)) + Bytes(checked) * sizeof(Edge));
    GraphSample out;
    out.edges.reserve(room);
    out.coords = CoordinateMatrix(n, d);
    for (double& x : out.coords.data) x = engine.uniform();

    // Cells of side >= radius, at most about n of them; every pair within
    // radius lies in the same or in neighbouring cells.
    std::size_t per_dim = radius > 0.0 ? static_cast<std::size_t>(std::floor(1.0 / radius)) : 1;
    const auto cap = static_cast<std::size_t>(std::floor(std::pow(static_cast<double>(std::max<std::size_t>(n, 1)), 1.0 / static_cast<double>(d))));
    per_dim = std::clamp<std::size_t>(per_dim, 1, std::max<std::size_t>(cap, 1));
    const std::size_t cells = d == 2 ? per_dim * per_dim : per_dim * per_dim * per_dim;
    std::vector<std::size_t> cell_of(n), start(cells + 1, 0), members(n);
    auto coord_cell = [&](double x) { return std::min(per_dim - 1, static_cast<std::size_t>(x * static_cast<double>(per_dim))); };
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t c = 0;
        for (std::size_t k = 0; k < d; ++k) c = c * per_dim + coord_cell(out.coords(i, k));
        cell_of[i] = c;
        ++start[c + 1];
    }
    for (std::size_t c = 0; c < cells; ++c) start[c + 1] += start[c];
    {
        std::vector<std::size_t> fill(start.begin(), start.end() - 1);
        for (std::size_t i = 0; i < n; ++i) members[fill[cell_of[i]]++] = i;
    }
    const double r2 = radius * radius;
    InterruptPoll poll;
    std::vector<std::size_t> near;
    for (std::size_t i = 0; i < n; ++i) {
        // The distinct neighbouring cells (with wrap-around when periodic).
        near.clear();
        std::size_t idx[3] = {0, 0, 0}, rest = cell_of[i];
        for (std::size_t k = d; k-- > 0;) {
            idx[k] = rest % per_dim;
            rest /= per_dim;
        }
        const int span = per_dim >= 3 || periodic ? 1 : static_cast<int>(per_dim) - 1;
        for (int a = -span; a <= span; ++a)
            for (int b = -span; b <= span; ++b)
                for (int c = d == 3 ? -span : 0; c <= (d == 3 ? span : 0); ++c) {
                    const int offset[3] = {a, b, c};
                    std::size_t cell = 0;
                    bool ok = true;
                    for (std::size_t k = 0; k < d; ++k) {
                        long x = static_cast<long>(idx[k]) + offset[k];
                        if (periodic) x = (x + static_cast<long>(per_dim)) % static_cast<long>(per_dim);
                        if (x < 0 || x >= static_cast<long>(per_dim)) ok = false;
                        cell = cell * per_dim + static_cast<std::size_t>(x < 0 ? 0 : x);
                    }
                    if (ok) near.push_back(cell);
                }
        std::sort(near.begin(), near.end());
        near.erase(std::unique(near.begin(), near.end()), near.end());
        for (std::size_t cell : near) {
            for (std::size_t t = start[cell]; t < start[cell + 1]; ++t) {
                const std::size_t j = members[t];
                if (j <= i) continue;
                double s = 0.0;
                for (std::size_t k = 0; k < d; ++k) {
                    double delta = std::fabs(out.coords(i, k) - out.coords(j, k));
                    if (periodic && delta > 0.5) delta = 1.0 - delta;
                    s = s + delta * delta;
                }
                if (s <= r2) out.edges.push_back({i, j});
            }
        }
        poll(16 * (near.size() + 1));
    }
    shuffle(out.edges, engine);
    return out;
}

}  // namespace korvale

#include <algorithm>
#include <cmath>
#include <string>

#include "core/interrupt.hpp"
#include "core/memory.hpp"
#include "models/graph_models.hpp"
#include "random/sampling.hpp"

namespace korvale {

GraphSample random_geometric(std::size_t n, double radius, std::size_t d, bool periodic, Engine& engine) {
    if (d != 2 && d != 3) throw InputError("d must be 2 or 3, got " + std::to_string(d));
    if (!(radius >= 0.0) || !std::isfinite(radius))
        throw InputError("radius must be a finite number >= 0, got " + std::to_string(radius));
    require_memory(checked_capacity(n, 4 * d, sizeof(double)) * sizeof(double));
    GraphSample out;
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

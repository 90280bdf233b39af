#include <cmath>
#include <string>

#include "core/interrupt.hpp"
#include "core/memory.hpp"
#include "models/graph_models.hpp"
#include "random/sampling.hpp"

namespace korvale {

EdgeList erdos_renyi(std::size_t n, double mean_degree, Engine& engine) {
    if (!(mean_degree >= 0.0) || !std::isfinite(mean_degree))
        throw InputError("mean_degree must be a finite number >= 0, got " + std::to_string(mean_degree));
    EdgeList edges;
    if (n < 2 || mean_degree == 0.0) return edges;
    const double p = mean_degree / static_cast<double>(n - 1);
    if (p > 1.0) throw InputError("mean_degree must be at most n - 1 = " + std::to_string(n - 1));
    // About n * mean_degree / 2 edges: refuse what cannot fit, with room for
    // the shuffle.
    const double expected = mean_degree * static_cast<double>(n) * 0.5;
    require_memory(static_cast<std::size_t>(std::fmin(expected * 1.1 + 64, 1e18)) * sizeof(Edge));
    edges.reserve(static_cast<std::size_t>(expected * 1.05) + 16);
    InterruptPoll poll;
    if (p == 1.0) {
        for (std::size_t v = 1; v < n; ++v) {
            for (std::size_t w = 0; w < v; ++w) edges.push_back({w, v});
            poll(v);
        }
    } else {
        // Walk the pairs (v, w), w < v, in order, skipping a geometric number
        // of pairs before each edge.
        const double log_q = portable_log(1.0 - p);
        std::size_t v = 1, w = 0;
        for (;;) {
            const double skip = std::floor(portable_log(1.0 - engine.uniform()) / log_q);  // >= 0
            // Advance w by skip pairs, row by row, without overflowing.
            double left = skip;
            while (v < n && left >= static_cast<double>(v - w)) {
                left -= static_cast<double>(v - w);
                ++v;
                w = 0;
            }
            if (v >= n) break;
            w += static_cast<std::size_t>(left);
            edges.push_back({w, v});
            ++w;
            if (w == v) {
                ++v;
                w = 0;
            }
            if (v >= n) break;
            poll(16);
        }
    }
    shuffle(edges, engine);
    return edges;
}

}  // namespace korvale

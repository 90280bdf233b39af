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
    if (n < 2) return edges;
    const double p = mean_degree / static_cast<double>(n - 1);
    if (p > 1.0) throw InputError("mean_degree must be at most n - 1 = " + std::to_string(n - 1));
    // A p that underflows to 0 gives no edge at all.
    if (p == 0.0) return edges;
    // About n * mean_degree / 2 edges, held once (the shuffle works in
    // place and the result takes the list as it is): refuse what cannot fit.
    const double expected = mean_degree * static_cast<double>(n) * 0.5;
    require_memory(Bytes(static_cast<std::size_t>(std::fmin(expected * 1.1 + 64, 1e18))) * sizeof(Edge));
    edges.reserve(static_cast<std::size_t>(expected * 1.05) + 16);
    InterruptPoll poll;
    if (p == 1.0) {
        for (std::size_t v = 1; v < n; ++v) {
            for (std::size_t w = 0; w < v; ++w) edges.push_back({w, v});
            poll(v);
        }
    } else {
        // Walk the pairs (v, w), w < v, in order, skipping a geometric number
        // of pairs before each edge. When 1 - p rounds to 1 its logarithm
        // would be 0 and every skip infinite; log(1 - p) is then -p to the
        // last bit (the next term, p^2 / 2, is below half an ulp of p).
        const double log_q = 1.0 - p == 1.0 ? -p : portable_log(1.0 - p);
        std::size_t v = 1, w = 0;
        for (;;) {
            const double skip = std::floor(portable_log(1.0 - engine.uniform()) / log_q);  // >= 0, maybe +inf
            if (!(skip >= 0.0)) internal_failure("a geometric skip is not a number >= 0");
            // Advance w by skip pairs, row by row, without overflowing.
            double left = skip;
            while (v < n && left >= static_cast<double>(v - w)) {
                left -= static_cast<double>(v - w);
                ++v;
                w = 0;
                poll(1);  // a long skip crosses up to n rows
            }
            if (v >= n) break;
            w += static_cast<std::size_t>(left);
            if (w >= v) internal_failure("a skip left the row of node " + std::to_string(v));
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

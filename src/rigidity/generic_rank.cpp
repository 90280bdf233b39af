#include "rigidity/generic_rank.hpp"

#include <algorithm>
#include <numeric>
#include <string>

#include "core/failure.hpp"
#include "core/interrupt.hpp"
#include "random/engine.hpp"
#include "rank/modular_rank.hpp"
#include "rigidity/max_rank.hpp"
#include "rigidity/point_elimination.hpp"

namespace korvale {

namespace {

std::uint64_t checked_max_rank(std::size_t n, std::size_t d) {
    if (d < 1) throw InputError("d must be at least 1, got 0");
    const auto max_rank = max_independent_edges(n, d);
    if (!max_rank) throw InputError("n * d is too large: " + std::to_string(n) + " * " + std::to_string(d));
    return *max_rank;
}

double bounded(double numerator) { return std::min(1.0, numerator / static_cast<double>(mod61::P)); }

}  // namespace

double rank_error_bound(std::size_t m, std::uint64_t max_rank) {
    return bounded(static_cast<double>(std::min<std::uint64_t>(m, max_rank)));
}

double cluster_error_bound(std::size_t n, std::size_t m, std::uint64_t max_rank) {
    const double r = static_cast<double>(std::min<std::uint64_t>(m, max_rank));
    const double pairs = 0.5 * static_cast<double>(n) * (static_cast<double>(n) - 1.0);
    return bounded(pairs * (r + 2.0));
}

GenericRankResult generic_rank(std::size_t n, const EdgeList& edges, std::size_t d, std::uint64_t seed,
                               bool clusters) {
    const std::uint64_t max_rank = checked_max_rank(n, d);
    require_memory(generic_rank_bytes(n, edges.size(), d, clusters));
    Engine engine = Engine::stream(seed, 0);
    InterruptPoll poll;
    PointElimination elimination(n, edges, d, engine, clusters, poll);

    GenericRankResult out;
    out.max_rank = max_rank;
    out.rank = elimination.rank();
    out.error_bound = rank_error_bound(edges.size(), max_rank);
    if (clusters) {
        // The stress: omega_e is a polynomial of degree at most r + 1 in the
        // point and the coefficients, one per edge; then the pairs.
        const std::vector<std::uint64_t> omega = elimination.stress(poll);
        out.overconstrained.resize(edges.size());
        for (std::size_t e = 0; e < edges.size(); ++e) out.overconstrained[e] = omega[e] != 0;
        const std::vector<std::uint64_t> motion = elimination.motion(edges.size(), poll);
        out.clusters = rigid_clusters(n, edges, d, elimination.point(), motion, poll);
        const double r = static_cast<double>(std::min<std::uint64_t>(edges.size(), max_rank));
        out.error_bound = std::min(1.0, out.error_bound + bounded(static_cast<double>(edges.size()) * (r + 1.0)) +
                                            cluster_error_bound(n, edges.size(), max_rank));
    }
    out.labels = elimination.labels();
    return out;
}

GenericPercolation generic_percolation(std::size_t n, const EdgeList& edges, std::size_t d, std::uint64_t seed,
                                       std::span<const std::uint64_t> checkpoints, bool every) {
    const std::uint64_t max_rank = checked_max_rank(n, d);
    const std::size_t m = edges.size();
    for (std::uint64_t c : checkpoints)
        if (c > m) throw InputError("checkpoint " + std::to_string(c) + " is beyond the " + std::to_string(m) + " edges");
    const std::size_t count = every ? m : checkpoints.size();
    require_memory(generic_percolation_bytes(n, m, d, count));
    std::vector<std::uint64_t> at(count);
    if (every) std::iota(at.begin(), at.end(), std::uint64_t{1});
    else std::copy(checkpoints.begin(), checkpoints.end(), at.begin());
    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return at[a] < at[b]; });

    Engine engine = Engine::stream(seed, 0);
    InterruptPoll poll;
    PointElimination elimination(n, edges, d, engine, false, poll);
    GenericPercolation out;
    out.largest_cluster.assign(count, 0);
    std::vector<std::uint64_t> motion;
    std::uint64_t largest = 0, drawn_at = m + 1;
    for (std::size_t k : order) {
        if (at[k] != drawn_at) {  // a repeated checkpoint reuses its answer
            motion = elimination.motion(at[k], poll);
            largest = rigid_clusters(n, std::span<const Edge>(edges).first(at[k]), d, elimination.point(), motion, poll)
                          .largest;
            drawn_at = at[k];
        }
        out.largest_cluster[k] = static_cast<std::int64_t>(largest);
    }
    out.labels = elimination.labels();
    out.rank.resize(m);
    std::int64_t rank = 0;
    for (std::size_t e = 0; e < m; ++e) out.rank[e] = rank += out.labels[e];
    out.error_bound = std::min(1.0, rank_error_bound(m, max_rank) +
                                        static_cast<double>(count) * cluster_error_bound(n, m, max_rank));
    return out;
}

Bytes generic_rank_bytes(std::size_t n, std::size_t m, std::size_t d, bool clusters) {
    Bytes total = point_elimination_bytes(n, m, d, clusters);
    if (clusters) total += Bytes(m) + rigid_clusters_bytes(n, m);
    return total;
}

Bytes generic_percolation_bytes(std::size_t n, std::size_t m, std::size_t d, std::size_t checkpoints) {
    return point_elimination_bytes(n, m, d, false) + rigid_clusters_bytes(n, m) +
           Bytes(m) * sizeof(std::int64_t) + Bytes(checkpoints) * (2 * sizeof(std::uint64_t) + sizeof(std::int64_t));
}

}  // namespace korvale

#include "rigidity/generic_rank.hpp"

#include <algorithm>
#include <string>

#include "core/failure.hpp"
#include "core/interrupt.hpp"
#include "random/engine.hpp"
#include "rank/modular_rank.hpp"
#include "rigidity/max_rank.hpp"

namespace korvale {

GenericRankResult generic_rank(std::size_t n, const EdgeList& edges, std::size_t d, std::uint64_t seed,
                               bool circuits) {
    if (d < 1) throw InputError("d must be at least 1, got 0");
    const auto max_rank = max_independent_edges(n, d);
    if (!max_rank) throw InputError("n * d is too large: " + std::to_string(n) + " * " + std::to_string(d));
    require_memory(generic_rank_bytes(n, edges.size(), d, circuits));
    const std::size_t ncols = checked_capacity(n, d, sizeof(std::uint64_t));

    GenericRankResult out;
    out.max_rank = *max_rank;
    out.labels.assign(edges.size(), 0);
    const std::uint64_t bound_rank = std::min<std::uint64_t>(edges.size(), out.max_rank);
    out.error_bound = static_cast<double>(bound_rank) / static_cast<double>(mod61::P);
    if (circuits) {
        out.overconstrained.assign(edges.size(), 0);
        // One more polynomial of degree <= r per (dependent, accepted) pair.
        out.error_bound *= 1.0 + static_cast<double>(edges.size()) * static_cast<double>(bound_rank);
    }

    Engine engine = Engine::stream(seed, 0);
    const std::vector<std::uint64_t> coords = modular_point(n, d, engine);

    ModularRankTracker tracker(ncols, circuits, bound_rank);
    InterruptPoll poll;
    std::vector<ModularEntry> row;
    std::vector<std::size_t> accepted;  // edge of each accepted row
    if (circuits) accepted.reserve(bound_rank);
    for (std::size_t e = 0; e < edges.size() && (circuits || out.rank < out.max_rank); ++e) {
        modular_row(coords, d, edges[e], row);
        const std::uint64_t before = tracker.work();
        if (tracker.add_row(row)) {
            out.labels[e] = 1;
            ++out.rank;
            if (circuits) accepted.push_back(e);
        } else if (circuits) {
            out.overconstrained[e] = 1;
            for (std::size_t r : tracker.last_circuit()) out.overconstrained[accepted[r]] = 1;
        }
        poll(8 + tracker.work() - before);
    }
    return out;
}

std::vector<std::uint64_t> modular_point(std::size_t n, std::size_t d, Engine& engine) {
    std::vector<std::uint64_t> point(checked_capacity(n, d, sizeof(std::uint64_t)));
    for (std::uint64_t& x : point) x = engine.below(mod61::P);
    return point;
}

void modular_row(const std::vector<std::uint64_t>& point, std::size_t d, const Edge& e,
                 std::vector<ModularEntry>& row) {
    row.clear();
    for (std::size_t a = 0; a < d; ++a) {
        const std::uint64_t diff = mod61::sub(point[e.i * d + a], point[e.j * d + a]);
        if (diff == 0) continue;
        row.push_back({e.i * d + a, diff});
        row.push_back({e.j * d + a, mod61::P - diff});
    }
}

Bytes generic_rank_bytes(std::size_t n, std::size_t m, std::size_t d, bool circuits) {
    const Bytes ncols = Bytes(n) * d;
    const std::size_t rows = std::min<std::uint64_t>(m, max_independent_edges(n, d).value_or(Bytes::most));
    const Bytes point = ncols * sizeof(std::uint64_t);
    const Bytes labels = Bytes(m) * (circuits ? 2 : 1);
    const Bytes accepted = circuits ? Bytes(rows) * sizeof(std::size_t) : Bytes(0);
    return point + ModularRankTracker::fixed_bytes(ncols.value(), rows) + labels + accepted;
}

}  // namespace korvale

#include "simulation/labelling.hpp"

#include <algorithm>

#include "rank/rank_tracker.hpp"
#include "rigidity/rigidity_row.hpp"

namespace korvale {

namespace {

std::size_t column_count(const NodeList& nodes) {
    const std::size_t d = nodes.empty() ? 0 : nodes.front().coords.size();
    return checked_capacity(nodes.size(), d, sizeof(double));
}

}  // namespace

bool prefix_is_independent(const NodeList& nodes, std::span<const Edge> prefix, double tol) {
    const std::size_t n = nodes.size();
    RankTracker tracker(column_count(nodes), tol);
    for (const Edge& e : prefix)
        if (!tracker.add_row(rigidity_row(nodes, n, e.i, e.j).values)) return false;
    return true;
}

LabelledEdges label_edges(const NodeList& nodes, const EdgeList& edges, std::uint64_t max_rank, double tol) {
    const std::size_t n = nodes.size();
    RankTracker tracker(column_count(nodes), tol);
    LabelledEdges out;
    out.labels.reserve(edges.size());
    for (const Edge& e : edges) {
        const bool independent = tracker.add_row(rigidity_row(nodes, n, e.i, e.j).values);
        out.labels.push_back(independent ? 1 : 0);
        if (independent) out.accepted.push_back(e);
        if (tracker.rank() == max_rank) break;
    }
    out.labels.resize(edges.size(), 0);
    out.rank = tracker.rank();
    return out;
}

LabelledEdges preset_labels(const EdgeList& edges, std::size_t m) {
    LabelledEdges out;
    out.labels.assign(edges.size(), 0);
    std::fill_n(out.labels.begin(), m, std::uint8_t{1});
    out.accepted.assign(edges.begin(), edges.begin() + static_cast<std::ptrdiff_t>(m));
    out.rank = m;
    return out;
}

}  // namespace korvale

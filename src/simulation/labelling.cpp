#include "simulation/labelling.hpp"

#include <algorithm>

#include "rank/rank_tracker.hpp"
#include "simulation/candidate_edges.hpp"
#include "rigidity/rigidity_row.hpp"

namespace korvale {

namespace {

std::size_t column_count(const NodeList& nodes) {
    const std::size_t d = nodes.empty() ? 0 : nodes.front().coords.size();
    return checked_capacity(nodes.size(), d, sizeof(double));
}

}  // namespace

std::size_t labelling_bytes(std::size_t n, std::size_t d) {
    const std::size_t ncols = checked_capacity(n, d, sizeof(double));
    const std::size_t basis_rows = ncols;  // the rank never exceeds the width
    return checked_sum({
        checked_capacity(edge_count(n), sizeof(Edge)) * sizeof(Edge) * 2,  // candidates, accepted
        edge_count(n),                                                      // labels
        checked_capacity(basis_rows + 1, ncols, sizeof(double)) * sizeof(double),
    });
}

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

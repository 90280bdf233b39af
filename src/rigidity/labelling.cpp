#include "rigidity/labelling.hpp"

#include <algorithm>

#include "rank/rank_tracker.hpp"
#include "rigidity/rigidity_row.hpp"
#include "graph/candidate_edges.hpp"

namespace korvale {

std::size_t basis_bytes(std::size_t rows, std::size_t ncols) {
    return checked_capacity(rows + 4, ncols, 2 * sizeof(double)) * (2 * sizeof(double));
}

std::size_t labelling_bytes(std::size_t n, std::size_t d) {
    const std::size_t ncols = checked_capacity(n, d, sizeof(double));
    // The rank never exceeds the width, nor the number of pairs.
    const std::size_t rank_bound = std::min(ncols, edge_count(n));
    return checked_sum({
        checked_capacity(rank_bound, sizeof(Edge)) * sizeof(Edge),  // accepted
        edge_count(n),                                               // labels
        basis_bytes(rank_bound, ncols),
    });
}

namespace {

template <class Edges>
LabelledEdges label_pass(const NodeList& nodes, Edges edges, std::uint64_t max_rank, double tol,
                         InterruptPoll& poll) {
    const std::size_t n = nodes.size();
    const std::size_t d = n == 0 ? 0 : nodes.front().coords.size();
    const std::size_t ncols = checked_capacity(n, d, sizeof(double));
    const std::size_t total = edges.size();
    RankTracker tracker(ncols, tol);
    std::vector<RowEntry> entries;
    LabelledEdges out;
    out.labels.reserve(total);
    out.accepted.reserve(max_rank < total ? max_rank : total);
    Edge e;
    while (edges.next(e)) {
        rigidity_entries(nodes, n, e.i, e.j, entries);
        const bool independent = tracker.add_row(entries);
        out.labels.push_back(independent ? 1 : 0);
        if (independent) out.accepted.push_back(e);
        if (tracker.rank() == max_rank) break;
        // A row costs at most a sweep of the basis, twice.
        poll((tracker.rank() + 1) * ncols);
    }
    out.labels.resize(total, 0);
    out.rank = tracker.rank();
    return out;
}

}  // namespace

LabelledEdges label_edges(const NodeList& nodes, const EdgeList& edges, std::uint64_t max_rank, double tol) {
    InterruptPoll poll;
    return label_pass(nodes, ListedEdges(edges), max_rank, tol, poll);
}

LabelledEdges label_all_pairs(const NodeList& nodes, std::uint64_t max_rank, double tol, InterruptPoll& poll) {
    return label_pass(nodes, AllPairs(nodes.size()), max_rank, tol, poll);
}

LabelledEdges label_all_pairs(const NodeList& nodes, std::uint64_t max_rank, double tol) {
    InterruptPoll poll;
    return label_all_pairs(nodes, max_rank, tol, poll);
}

}  // namespace korvale

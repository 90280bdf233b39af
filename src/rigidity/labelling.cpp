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
LabelledEdges label_pass(const CoordinateMatrix& coords, Edges edges, std::uint64_t max_rank, double tol,
                         InterruptPoll& poll) {
    const std::size_t ncols = checked_capacity(coords.rows, coords.cols, sizeof(double));
    const std::size_t total = edges.size();
    RankTracker tracker(ncols, tol);
    std::vector<RowEntry> entries;
    LabelledEdges out;
    out.labels.reserve(total);
    out.accepted.reserve(max_rank < total ? max_rank : total);
    Edge e;
    while (edges.next(e)) {
        rigidity_entries(coords, e.i, e.j, entries);
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

LabelledEdges label_edges(const CoordinateMatrix& coords, const EdgeList& edges, std::uint64_t max_rank, double tol) {
    InterruptPoll poll;
    return label_pass(coords, ListedEdges(edges), max_rank, tol, poll);
}

LabelledEdges label_all_pairs(const CoordinateMatrix& coords, std::uint64_t max_rank, double tol,
                              InterruptPoll& poll) {
    return label_pass(coords, AllPairs(coords.rows), max_rank, tol, poll);
}

LabelledEdges label_all_pairs(const CoordinateMatrix& coords, std::uint64_t max_rank, double tol) {
    InterruptPoll poll;
    return label_all_pairs(coords, max_rank, tol, poll);
}

}  // namespace korvale

// The two labelling passes over the candidate bars of a framework. Both run
// without the interpreter lock: they read only the node list and the edges.
#pragma once

#include <cstdint>
#include <span>

#include "core/records.hpp"

namespace korvale {

struct LabelledEdges {
    Labels labels;          // one per candidate edge
    EdgeList accepted;      // the edges labelled 1, in candidate order
    std::uint64_t rank = 0; // the tracker's rank when the pass ended
};

// Working memory of one labelling pass over n nodes in d dimensions: the
// candidate list, the labels, the accepted edges, one row and a full basis.
std::size_t labelling_bytes(std::size_t n, std::size_t d);

// Fast pass: whether every row of the given prefix is independent, i.e.
// whether a tracker fed the prefix reaches a rank equal to its length. It
// stops at the first dependent row, where the answer is already no.
bool prefix_is_independent(const NodeList& nodes, std::span<const Edge> prefix, double tol);

// Full pass: labels every edge in order and stops building rows as soon as
// the rank reaches max_rank; the remaining edges are labelled 0.
LabelledEdges label_edges(const NodeList& nodes, const EdgeList& edges, std::uint64_t max_rank, double tol);

// The labels the full pass would give when the first m edges are all
// independent and m is the maximum rank: m ones, then zeros.
LabelledEdges preset_labels(const EdgeList& edges, std::size_t m);

// Labels a framework of at least d+1 nodes: the fast pass over the first
// max_rank edges and, only when it fails, a fresh full pass. Each pass runs
// while a guard made by release() lives; the caller decides what the guard
// does (the module releases the interpreter lock).
template <class Release>
LabelledEdges label_framework(const NodeList& nodes, const EdgeList& edges, std::uint64_t max_rank, double tol,
                              Release&& release) {
    const std::size_t m = max_rank < edges.size() ? static_cast<std::size_t>(max_rank) : edges.size();
    bool fast;
    {
        [[maybe_unused]] auto guard = release();
        fast = prefix_is_independent(nodes, std::span(edges).first(m), tol);
    }
    if (fast) return preset_labels(edges, m);
    [[maybe_unused]] auto guard = release();
    return label_edges(nodes, edges, max_rank, tol);
}

}  // namespace korvale

// Labelling the candidate bars of a framework. Runs without the interpreter
// lock: it reads only the coordinates and the edges.
#pragma once

#include <cstdint>

#include "core/interrupt.hpp"
#include "core/records.hpp"

namespace korvale {

struct LabelledEdges {
    Labels labels;          // one per candidate edge
    EdgeList accepted;      // the edges labelled 1, in candidate order
    std::uint64_t rank = 0; // the tracker's rank when the pass ended
};

// Working memory of one labelling pass over all pairs of n nodes in d
// dimensions: the labels, the accepted edges and a full basis.
std::size_t labelling_bytes(std::size_t n, std::size_t d);

// The rank tracker's basis of at most `rows` rows of ncols doubles. It grows
// by doubling, and while it is copied both buffers are held: up to twice
// the final basis.
std::size_t basis_bytes(std::size_t rows, std::size_t ncols);

// Offers every edge's rigidity row in order and labels it by the tracker's
// answer, building no more rows once the rank reaches max_rank; the
// remaining edges are labelled 0.
//
// This one pass is also the fast path: when the first max_rank rows are all
// independent it offers exactly those and stops, which is all a separate
// prefix check would do, and when one of them is dependent the same pass
// simply goes on, where a fresh pass would repeat its work bit for bit.
LabelledEdges label_edges(const CoordinateMatrix& coords, const EdgeList& edges, std::uint64_t max_rank, double tol);

// The same over every pair of nodes in candidate order, walked without a
// list. The poll, when given, is shared with the caller (the training batch
// polls across graphs).
LabelledEdges label_all_pairs(const CoordinateMatrix& coords, std::uint64_t max_rank, double tol);
LabelledEdges label_all_pairs(const CoordinateMatrix& coords, std::uint64_t max_rank, double tol, InterruptPoll& poll);

}  // namespace korvale

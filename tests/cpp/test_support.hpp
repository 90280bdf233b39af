// Small helpers shared by the C++ tests and benchmarks.
#pragma once

#include <initializer_list>
#include <vector>

#include "core/records.hpp"
#include "graph/candidate_edges.hpp"
#include "rigidity/rigidity_row.hpp"

// A coordinate matrix from its rows, which must all have the same length.
inline korvale::CoordinateMatrix make_coords(const std::vector<std::vector<double>>& points) {
    korvale::CoordinateMatrix coords(points.size(), points.empty() ? 0 : points.front().size());
    for (std::size_t i = 0; i < points.size(); ++i)
        for (std::size_t c = 0; c < coords.cols; ++c) coords(i, c) = points[i].at(c);
    return coords;
}

inline korvale::CoordinateMatrix make_coords(std::initializer_list<std::vector<double>> points) {
    return make_coords(std::vector<std::vector<double>>(points));
}

// The rigidity-matrix row of bar (i, j) written out in full, n*d entries.
inline std::vector<double> rigidity_row(const korvale::CoordinateMatrix& coords, std::size_t i, std::size_t j) {
    std::vector<korvale::RowEntry> entries;
    korvale::rigidity_entries(coords, i, j, entries);
    std::vector<double> row(coords.rows * coords.cols, 0.0);
    for (const korvale::RowEntry& e : entries) row[e.col] = e.value;
    return row;
}

// All pairs (i, j), i < j, in lexicographic order, as a list.
inline korvale::EdgeList candidate_edges(std::size_t n) {
    korvale::EdgeList edges;
    korvale::AllPairs pairs(n);
    for (korvale::Edge e; pairs.next(e);) edges.push_back(e);
    return edges;
}

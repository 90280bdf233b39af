// Records shared by the domain units and the boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/failure.hpp"

namespace korvale {

// Dense row-major matrix of doubles, owned by whoever created it.
struct Matrix {
    std::size_t rows = 0;
    std::size_t cols = 0;
    std::vector<double> data;

    Matrix() = default;
    // All entries +0.0; the byte count is guarded against overflow.
    Matrix(std::size_t r, std::size_t c)
        : rows(r), cols(c), data(checked_capacity(r, c, sizeof(double)), 0.0) {}

    double& operator()(std::size_t i, std::size_t j) { return data[i * cols + j]; }
    double operator()(std::size_t i, std::size_t j) const { return data[i * cols + j]; }
    double* row(std::size_t i) { return data.data() + i * cols; }
    const double* row(std::size_t i) const { return data.data() + i * cols; }
};

using CoordinateMatrix = Matrix;  // n rows (nodes) by d columns
using DistanceMatrix = Matrix;    // n by n Euclidean distances

// A bar between nodes i and j: a candidate pair (i < j) in the complete-graph
// functions, any pair of a user's or a model's graph elsewhere.
struct Edge {
    std::size_t i = 0;
    std::size_t j = 0;
    friend bool operator==(const Edge&, const Edge&) = default;
};
using EdgeList = std::vector<Edge>;

// One byte per edge: 1 independent (accepted), 0 redundant.
using Labels = std::vector<std::uint8_t>;

}  // namespace korvale

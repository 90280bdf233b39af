// A literal, unoptimised transcription of the tracker and the labelling
// driver, kept as the reference that the production code must match bit for
// bit. Clarity over speed: no early exits beyond the documented ones.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/records.hpp"

namespace reference {

struct Tracker {
    std::vector<std::vector<double>> rows;
    std::vector<std::size_t> pivots;
    std::size_t rank = 0;
    std::size_t ncols;
    double tol;

    Tracker(std::size_t ncols_, double tol_) : ncols(ncols_), tol(tol_) {}

    bool counts(double x) const { return std::fabs(x) > tol; }

    bool add_row(std::vector<double> row) {
        for (std::size_t r = 0; r < rank; ++r) {
            const std::size_t p = pivots[r];
            const double f = row[p];
            if (counts(f)) {
                for (std::size_t k = 0; k < ncols; ++k) {
                    const double product = rows[r][k] * f;
                    row[k] = row[k] - product;
                }
            }
        }
        // The pivot: the entry of largest magnitude among those that count,
        // the first column among equals.
        std::size_t c = ncols;
        for (std::size_t k = 0; k < ncols; ++k) {
            if (counts(row[k]) && (c == ncols || std::fabs(row[k]) > std::fabs(row[c]))) c = k;
        }
        if (c == ncols) return false;
        const double v = row[c];
        for (std::size_t k = 0; k < ncols; ++k) row[k] = row[k] / v;
        for (std::size_t r = 0; r < rank; ++r) {
            const double g = rows[r][c];
            if (counts(g)) {
                for (std::size_t k = 0; k < ncols; ++k) {
                    const double product = row[k] * g;
                    rows[r][k] = rows[r][k] - product;
                }
            }
        }
        pivots.push_back(c);
        rows.push_back(row);
        rank = rank + 1;
        return true;
    }
};

inline std::vector<double> row_of(const korvale::CoordinateMatrix& coords, std::size_t i, std::size_t j) {
    const std::size_t d = coords.cols;
    std::vector<double> row(coords.rows * d, 0.0);
    for (std::size_t k = 0; k < d; ++k) {
        const double diff = coords(i, k) - coords(j, k);
        row[i * d + k] = diff;
        row[j * d + k] = -diff;
    }
    return row;
}

struct Outcome {
    korvale::Labels labels;
    korvale::EdgeList accepted;
    std::uint64_t final_rank = 0;
    std::uint64_t max_rank = 0;
    bool fast_path = false;
};

// The simulate driver: presets, a fast pass offering every prefix row, and a
// fresh full pass with the early stop when the fast pass falls short.
inline Outcome simulate(const korvale::CoordinateMatrix& coords, std::uint64_t d, double tol) {
    const std::uint64_t n = coords.rows;
    korvale::EdgeList edges;
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j) edges.push_back({i, j});
    const std::uint64_t e = edges.size();
    Outcome out;
    out.max_rank = n * d - d * (d + 1) / 2;
    const std::uint64_t m = out.max_rank < e ? out.max_rank : e;
    korvale::EdgeList prefix(edges.begin(), edges.begin() + static_cast<std::ptrdiff_t>(m));
    korvale::Labels preset(e, 0);
    for (std::uint64_t k = 0; k < m; ++k) preset[k] = 1;

    Tracker fast(n * d, tol);
    for (const auto& edge : prefix) fast.add_row(row_of(coords, edge.i, edge.j));
    if (fast.rank == out.max_rank) {
        out.labels = preset;
        out.accepted = prefix;
        out.final_rank = out.max_rank;
        out.fast_path = true;
        return out;
    }
    Tracker full(n * d, tol);
    for (const auto& edge : edges) {
        const bool ok = full.add_row(row_of(coords, edge.i, edge.j));
        out.labels.push_back(ok ? 1 : 0);
        if (ok) out.accepted.push_back(edge);
        if (full.rank == out.max_rank) {
            while (out.labels.size() < e) out.labels.push_back(0);
            break;
        }
    }
    out.final_rank = full.rank;
    return out;
}

}  // namespace reference

// Rows as the rank trackers take them, and how a row's pivot is chosen.
#pragma once

#include <cmath>
#include <cstddef>

namespace korvale {

// One non-zero of a sparse row.
struct RowEntry {
    std::size_t col;
    double value;
};

// The pivot of a row: among the entries that count as non-zero
// (|x| > tol), the one of largest magnitude, the lowest column among equals.
// An infinity is the largest; NaN never counts. Choosing by magnitude keeps
// the normalised row bounded by 1 in the columns that count, so a value just
// above the tolerance cannot blow the basis up and reject independent rows
// later on. Columns may be offered in any order.
struct PivotChoice {
    static constexpr std::size_t none = static_cast<std::size_t>(-1);
    std::size_t col = none;
    double value = 0.0;
    double magnitude = 0.0;

    void offer(std::size_t k, double x, double tol) noexcept {
        const double a = std::fabs(x);
        if (!(a > tol)) return;
        if (col == none || a > magnitude || (a == magnitude && k < col)) {
            col = k;
            value = x;
            magnitude = a;
        }
    }
};

}  // namespace korvale

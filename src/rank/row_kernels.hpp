// The inner loops of the rank tracker. Each entry gets one rounded product
// and one rounded subtraction (or one division) per operation, never fused,
// so the wider machine code chosen at run time changes speed, not results.
#pragma once

#include <cstddef>

namespace korvale {

// target[k] -= source[k] * factor for k < count.
void subtract_scaled(double* __restrict target, const double* __restrict source, double factor,
                     std::size_t count);

// For k < count: target[k] -= sources[0][k] * factors[0], then
// sources[1][k] * factors[1], and so on, in that order for every entry,
// reading and writing target once. At most 16 updates.
void subtract_many(double* __restrict target, const double* const* sources, const double* factors,
                   std::size_t updates, std::size_t count);

// One row through the plain algorithm, with one dispatch for all of it: x
// (count entries) is eliminated against the basis rows first..rank-1, stored
// one after another with `count` entries each (for each row in order, when
// x's entry at the row's pivot column counts as non-zero, |f| > tol, x -=
// row * f); then its pivot is chosen as choose_pivot does. When there is
// one, x is divided by it and back-substituted into basis rows 0..rank-1 as
// back_substitute_rows does. Returns the pivot column, or count when x is
// dependent (x is then left eliminated, the basis untouched).
std::size_t reduce_row(double* x, double* basis, const std::size_t* pivots, std::size_t first, std::size_t rank,
                       std::size_t count, double tol);

// Back-substitution of a new basis row with pivot column c into the basis
// rows first..end-1: each row whose entry at c counts as non-zero (|g| >
// tol) gets row -= source * g. source may be one of the basis rows outside
// that range.
void back_substitute_rows(double* basis, const double* source, std::size_t c, std::size_t first, std::size_t end,
                          std::size_t count, double tol);

// The pivot of a dense row, as PivotChoice picks it offering columns in
// order: among the entries with |x| > tol (NaN never counts), the first of
// largest magnitude; count when none counts. Two vectorisable passes (the
// largest magnitude, then its first column) instead of a branch per entry.
std::size_t choose_pivot(const double* x, std::size_t count, double tol);

// values[k] = 0.0 for k < count, in vector stores rather than a call to
// memset, whose start-up costs more than the stores for short rows.
void clear_row(double* values, std::size_t count);

// values[k] /= divisor for k < count (a true division, not a product with
// the reciprocal).
void divide_all(double* values, double divisor, std::size_t count);

}  // namespace korvale

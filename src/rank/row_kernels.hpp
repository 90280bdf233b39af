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

// values[k] /= divisor for k < count (a true division, not a product with
// the reciprocal).
void divide_all(double* values, double divisor, std::size_t count);

}  // namespace korvale

// The rank of a dense matrix modulo P = 2^61 - 1, exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/memory.hpp"

namespace korvale {

// The rank of the rows x cols matrix `a` (row-major, entries in 0..P-1).
//
// Crout elimination with row pivoting, column by column: a column's entries
// in the rows not yet chosen as pivots are reduced by one dot product each
// against the pivots so far; the first non-zero one makes its row the next
// pivot (whose row of U is then formed the same way), and a column with
// none is dependent on the earlier ones. The dot products add the 122-bit
// products unreduced in four running sums, folding each once every 32
// terms, which is most of the speed: about rows * cols * rank / 3
// multiplications in all, none wasted on rows already eliminated.
std::size_t dense_modular_rank(const std::vector<std::uint64_t>& a, std::size_t rows, std::size_t cols);

// What dense_modular_rank holds beside `a`: the factors L and U.
Bytes dense_modular_rank_bytes(std::size_t rows, std::size_t cols);

}  // namespace korvale

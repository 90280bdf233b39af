// Exact incremental rank over the field of integers modulo the Mersenne
// prime P = 2^61 - 1: each offered row is tested for independence from the
// rows accepted before it, with no tolerance and no rounding.
//
// The accepted rows form an echelon basis: each is stored from its pivot
// (its first non-zero column, scaled to 1) to its last non-zero column, and
// no two share a pivot. A new row is reduced from its first column on; the
// first non-zero entry whose column holds no pivot proves it independent
// (it then joins the basis as it stands), and a row reduced to zero is
// dependent. Rows touch only the columns between their first and last
// non-zero entries, so sparse rows stay cheap while fill-in is small; once
// it is not, the same loop is a dense elimination.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/memory.hpp"

namespace korvale {

namespace mod61 {

inline constexpr std::uint64_t P = (std::uint64_t{1} << 61) - 1;

// x mod P for x < 2^122: 2^61 = 1 (mod P), so the high and low 61-bit parts add.
inline std::uint64_t reduce(unsigned __int128 x) noexcept {
    std::uint64_t r = (static_cast<std::uint64_t>(x) & P) + static_cast<std::uint64_t>(x >> 61);
    r = (r & P) + (r >> 61);
    return r >= P ? r - P : r;
}
// x mod P for any 128-bit x: its 61-bit digits add.
inline std::uint64_t reduce_wide(unsigned __int128 x) noexcept {
    return reduce(static_cast<unsigned __int128>(static_cast<std::uint64_t>(x & P) +
                                                 static_cast<std::uint64_t>((x >> 61) & P) +
                                                 static_cast<std::uint64_t>(x >> 122)));
}
inline std::uint64_t mul(std::uint64_t a, std::uint64_t b) noexcept {
    return reduce(static_cast<unsigned __int128>(a) * b);
}
inline std::uint64_t sub(std::uint64_t a, std::uint64_t b) noexcept { return a >= b ? a - b : a + (P - b); }
inline std::uint64_t add(std::uint64_t a, std::uint64_t b) noexcept { return sub(a, P - b); }
// a^(P-2), the inverse of a != 0 (Fermat).
std::uint64_t inverse(std::uint64_t a) noexcept;

}  // namespace mod61

struct ModularEntry {
    std::size_t column;
    std::uint64_t value;  // in 0..P-1
};

class ModularRankTracker {
public:
    // Records for max_rows basis rows are reserved up front (the rank never
    // exceeds the number of rows offered); the rows' entries are counted,
    // and checked against the memory available, as the basis grows.
    explicit ModularRankTracker(std::size_t ncols, std::size_t max_rows = 0);

    // The tracker's fixed state for ncols columns and max_rows rows: the
    // pivot table, the row being reduced, the row records.
    static Bytes fixed_bytes(std::size_t ncols, std::size_t max_rows);

    // Whether the row (entries in any order, distinct columns) is
    // independent of the accepted rows; an independent row is accepted.
    bool add_row(const std::vector<ModularEntry>& entries);

    // Records, from now on, how each offered row was reduced: after add_row,
    // last_factors() lists the basis rows (numbered in acceptance order)
    // subtracted from it, each with its factor, in the order applied. The
    // offered row equals their sum when it was dependent, and their sum plus
    // last_pivot() times the new basis row when it was accepted. Costs no
    // more than the reduction itself.
    struct Factor {
        std::uint32_t row;
        std::uint64_t value;
    };
    void record_factors() noexcept { record_factors_ = true; }
    const std::vector<Factor>& last_factors() const noexcept { return factors_; }
    std::uint64_t last_pivot() const noexcept { return last_pivot_; }

    // A vector x with row . x = 0 for the first `rows` accepted rows (every
    // row offered before the next one was accepted): x takes the given
    // values (ncols of them) in the columns that hold none of their pivots
    // and is solved for in the others, from the last column down. Uniform
    // values give a uniformly random element of the null space. Costs one
    // pass over the basis.
    std::vector<std::uint64_t> null_vector(std::vector<std::uint64_t> free_values,
                                           std::size_t rows = static_cast<std::size_t>(-1)) const;

    std::size_t rank() const noexcept { return rows_.size(); }
    // Field operations done so far (for interrupt polls).
    std::uint64_t work() const noexcept { return work_; }

private:
    struct BasisRow {
        std::size_t first;
        std::vector<std::uint64_t> values;  // columns first .. first + size - 1; values[0] == 1
    };
    void keep(std::size_t first, std::size_t last);

    bool record_factors_ = false;
    std::vector<Factor> factors_;
    std::uint64_t last_pivot_ = 0;

    std::vector<std::uint32_t> pivot_row_;  // per column: 1 + index of the row pivoting there, or 0
    std::vector<BasisRow> rows_;
    // The row being reduced, its entries summed unreduced (each below 2^128)
    // and reduced when the scan reaches them; all zero between calls.
    std::vector<unsigned __int128> scratch_;
    std::size_t stored_ = 0;                // bytes held by the basis
    std::size_t checked_ = 0;               // bytes the memory check has cleared
    std::uint64_t work_ = 0;
};

}  // namespace korvale

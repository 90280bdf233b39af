#include "rank/dense_modular_rank.hpp"

#include <algorithm>

#include "core/failure.hpp"
#include "core/interrupt.hpp"
#include "rank/modular_rank.hpp"

namespace korvale {

namespace {

// a[0..len) . b[0..len) mod P. Products are below 2^122, so each of the
// four sums (four, so that the additions do not wait on one another) takes
// 32 of them below 2^128 before it is folded.
std::uint64_t dot(const std::uint64_t* a, const std::uint64_t* b, std::size_t len) noexcept {
    unsigned __int128 acc[4] = {0, 0, 0, 0};
    std::uint64_t total = 0;
    std::size_t k = 0;
    while (k < len) {
        const std::size_t end = std::min(len, k + 128);
        for (; k + 4 <= end; k += 4)
            for (std::size_t u = 0; u < 4; ++u) acc[u] += static_cast<unsigned __int128>(a[k + u]) * b[k + u];
        for (; k < end; ++k) acc[0] += static_cast<unsigned __int128>(a[k]) * b[k];
        for (unsigned __int128& part : acc) {
            total = mod61::add(total, mod61::reduce_wide(part));
            part = 0;
        }
    }
    return total;
}

}  // namespace

Bytes dense_modular_rank_bytes(std::size_t rows, std::size_t cols) {
    const std::size_t most = std::min(rows, cols);
    return (Bytes(rows) + cols) * most * sizeof(std::uint64_t) + Bytes(rows) * sizeof(std::size_t);
}

std::size_t dense_modular_rank(const std::vector<std::uint64_t>& a, std::size_t rows, std::size_t cols) {
    if (a.size() != checked_capacity(rows, cols, sizeof(std::uint64_t))) internal_failure("matrix size mismatch");
    const std::size_t most = std::min(rows, cols);
    // L by rows and U by columns, so that every dot product reads two
    // contiguous runs; room for `most` pivots.
    std::vector<std::uint64_t> lower(checked_capacity(rows, most, sizeof(std::uint64_t)));
    std::vector<std::uint64_t> upper(checked_capacity(cols, most, sizeof(std::uint64_t)));
    std::vector<std::size_t> free_rows(rows);
    for (std::size_t i = 0; i < rows; ++i) free_rows[i] = i;
    std::vector<std::uint64_t> column(rows);
    InterruptPoll poll;
    std::size_t rank = 0;
    for (std::size_t c = 0; c < cols && rank < most; ++c) {
        const std::uint64_t* u_c = upper.data() + c * most;
        std::size_t pivot = free_rows.size();
        for (std::size_t f = 0; f < free_rows.size(); ++f) {
            const std::size_t i = free_rows[f];
            column[f] = mod61::sub(a[i * cols + c], dot(lower.data() + i * most, u_c, rank));
            if (pivot == free_rows.size() && column[f] != 0) pivot = f;
        }
        poll(free_rows.size() * (rank + 1));
        if (pivot == free_rows.size()) continue;  // dependent on the columns before it

        // Row p becomes pivot `rank`: its row of U, then the other free rows'
        // entries of L.
        const std::size_t p = free_rows[pivot];
        const std::uint64_t v = column[pivot];
        const std::uint64_t* l_p = lower.data() + p * most;
        upper[c * most + rank] = v;
        for (std::size_t l = c + 1; l < cols; ++l)
            upper[l * most + rank] = mod61::sub(a[p * cols + l], dot(l_p, upper.data() + l * most, rank));
        const std::uint64_t inverse = mod61::inverse(v);
        for (std::size_t f = 0; f < free_rows.size(); ++f)
            if (f != pivot) lower[free_rows[f] * most + rank] = mod61::mul(column[f], inverse);
        free_rows.erase(free_rows.begin() + static_cast<std::ptrdiff_t>(pivot));
        ++rank;
        poll((cols - c) * rank + free_rows.size());
    }
    return rank;
}

}  // namespace korvale

#include "rank/modular_rank.hpp"

#include <algorithm>

#include "core/failure.hpp"
#include "core/memory.hpp"

namespace korvale {

std::uint64_t mod61::inverse(std::uint64_t a) noexcept {
    std::uint64_t result = 1, power = a;
    for (std::uint64_t e = P - 2; e != 0; e >>= 1) {
        if (e & 1) result = mul(result, power);
        power = mul(power, power);
    }
    return result;
}

ModularRankTracker::ModularRankTracker(std::size_t ncols, std::size_t max_rows)
    : pivot_row_(ncols, 0), scratch_(checked_capacity(ncols, sizeof(unsigned __int128)), 0) {
    rows_.reserve(std::min(ncols, max_rows));
}

Bytes ModularRankTracker::fixed_bytes(std::size_t ncols, std::size_t max_rows) {
    return Bytes(ncols) * (sizeof(std::uint32_t) + sizeof(unsigned __int128)) +
           Bytes(std::min(ncols, max_rows)) * sizeof(BasisRow);
}

bool ModularRankTracker::add_row(const std::vector<ModularEntry>& entries) {
    factors_.clear();
    if (entries.empty()) return false;
    std::size_t first = entries.front().column, last = first;
    for (const ModularEntry& e : entries) {
        scratch_[e.column] = e.value;
        first = std::min(first, e.column);
        last = std::max(last, e.column);
    }
    // Subtracting x * row adds (P - x) * row: products below 2^122, so an
    // entry that starts below P takes 60 of them before it must be folded.
    constexpr unsigned fold_every = 60;
    unsigned unfolded = 0;
    for (std::size_t c = first; c <= last; ++c) {
        const std::uint64_t x = mod61::reduce_wide(scratch_[c]);
        scratch_[c] = x;
        if (x == 0) continue;
        if (pivot_row_[c] == 0) {
            keep(c, last);
            return true;
        }
        const BasisRow& b = rows_[pivot_row_[c] - 1];
        if (record_factors_) factors_.push_back({pivot_row_[c] - 1, x});
        const std::size_t width = b.values.size();
        const std::uint64_t minus_x = mod61::P - x;
        unsigned __int128* target = scratch_.data() + c;
        const std::uint64_t* source = b.values.data();
        target[0] = 0;  // x - x * 1
        for (std::size_t t = 1; t < width; ++t) target[t] += static_cast<unsigned __int128>(minus_x) * source[t];
        work_ += width;
        last = std::max(last, c + width - 1);
        if (++unfolded == fold_every) {
            for (std::size_t t = c + 1; t <= last; ++t) scratch_[t] = mod61::reduce_wide(scratch_[t]);
            work_ += last - c;
            unfolded = 0;
        }
    }
    return false;
}

// Moves scratch[first..last] into the basis, scaled so that its pivot is 1,
// and leaves the scratch row zero.
void ModularRankTracker::keep(std::size_t first, std::size_t last) {
    const std::size_t width = last - first + 1;
    // The row's entries, in an allocation of their own with the allocator's
    // header beside them.
    constexpr std::size_t allocation_overhead = 16;
    const std::size_t bytes = checked_capacity(width, sizeof(std::uint64_t)) * sizeof(std::uint64_t) + allocation_overhead;
    // The basis grows row by row; past each doubling the headroom is checked
    // again, so that a dense fill-in ends in MemoryError rather than with the
    // process killed.
    if (stored_ + bytes > checked_) {
        const std::size_t next = std::max(2 * checked_, stored_ + bytes + small_request);
        require_memory(next - stored_);
        checked_ = next;
    }
    last_pivot_ = static_cast<std::uint64_t>(scratch_[first]);  // reduced by the scan
    const std::uint64_t scale = mod61::inverse(last_pivot_);
    BasisRow row{first, std::vector<std::uint64_t>(width)};
    for (std::size_t t = 0; t < width; ++t) {
        row.values[t] = mod61::mul(mod61::reduce_wide(scratch_[first + t]), scale);
        scratch_[first + t] = 0;
    }
    rows_.push_back(std::move(row));
    pivot_row_[first] = static_cast<std::uint32_t>(rows_.size());
    stored_ += bytes;
    work_ += width + 120;
}

std::vector<std::uint64_t> ModularRankTracker::null_vector(std::vector<std::uint64_t> x, std::size_t rows) const {
    if (x.size() != pivot_row_.size()) throw InternalFailure("null_vector: one value per column is needed");
    // Products below 2^122: 60 of them sum below 2^128 before a fold.
    constexpr std::size_t fold_every = 60;
    for (std::size_t c = x.size(); c-- > 0;) {
        if (pivot_row_[c] == 0 || pivot_row_[c] > rows) continue;
        const BasisRow& b = rows_[pivot_row_[c] - 1];
        unsigned __int128 sum = 0;
        for (std::size_t t = 1; t < b.values.size(); ++t) {
            sum += static_cast<unsigned __int128>(b.values[t]) * x[c + t];
            if (t % fold_every == 0) sum = mod61::reduce_wide(sum);
        }
        x[c] = mod61::sub(0, mod61::reduce_wide(sum));
    }
    return x;
}

}  // namespace korvale

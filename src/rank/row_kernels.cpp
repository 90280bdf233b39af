#include "rank/row_kernels.hpp"

#include <bit>
#include <cmath>
#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace korvale {

__attribute__((target_clones("avx2", "default"))) void subtract_scaled(double* __restrict target,
                                                                      const double* __restrict source,
                                                                      double factor, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) target[k] = target[k] - source[k] * factor;
}

__attribute__((target_clones("avx2", "default"))) void clear_row(double* values, std::size_t count) {
    // Written out four at a time and the rest one by one: the compiler
    // turns a plain loop into a call to memset.
    std::size_t k = 0;
    for (; k + 4 <= count; k += 4) values[k] = values[k + 1] = values[k + 2] = values[k + 3] = 0.0;
    if (k < count) values[k] = 0.0;
    if (k + 1 < count) values[k + 1] = 0.0;
    if (k + 2 < count) values[k + 2] = 0.0;
}

__attribute__((target_clones("avx2", "default"))) void divide_all(double* values, double divisor,
                                                                 std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) values[k] = values[k] / divisor;
}

namespace {

// The dense step's loops, for rows of Width entries (Width == 0: count,
// known at run time only). A width fixed at compile time unrolls the loops
// completely, which pays for short rows, where loop control is a good part
// of the work.
template <std::size_t Width>
struct DenseRow {
    const std::size_t count;

    [[gnu::always_inline]] std::size_t width() const noexcept { return Width ? Width : count; }

    [[gnu::always_inline]] void eliminate(double* __restrict x, const double* __restrict basis,
                                          const std::size_t* pivots, std::size_t first, std::size_t rank,
                                          double tol) const {
        const std::size_t w = width();
        for (std::size_t r = first; r < rank; ++r) {
            const double f = x[pivots[r]];
            if (!(std::fabs(f) > tol)) continue;
            const double* b = basis + r * w;
            for (std::size_t k = 0; k < w; ++k) x[k] = x[k] - b[k] * f;
        }
    }

    [[gnu::always_inline]] void back_substitute(double* basis, const double* source, std::size_t c,
                                                std::size_t first, std::size_t end, double tol) const {
        const std::size_t w = width();
        for (std::size_t r = first; r < end; ++r) {
            double* __restrict t = basis + r * w;
            const double g = t[c];
            if (!(std::fabs(g) > tol)) continue;
            const double* __restrict s = source;
            for (std::size_t k = 0; k < w; ++k) t[k] = t[k] - s[k] * g;
        }
    }

    [[gnu::always_inline]] std::size_t pivot(const double* x, double tol) const {
        // The bits of a magnitude order like its value (it is >= 0 and not
        // NaN), and integer maxima vectorise where double ones do not; 0
        // marks the entries that do not count, the others are shifted up by
        // one.
        const std::size_t w = width();
        std::int64_t best = 0;
        for (std::size_t k = 0; k < w; ++k) {
            const double a = std::fabs(x[k]);
            const std::int64_t counted = a > tol ? std::bit_cast<std::int64_t>(a) + 1 : 0;
            best = counted > best ? counted : best;
        }
        if (best == 0) return w;
        const double largest = std::bit_cast<double>(best - 1);
        std::size_t k = 0;
        while (!(std::fabs(x[k]) == largest && std::fabs(x[k]) > tol)) ++k;
        return k;
    }

    [[gnu::always_inline]] void divide(double* x, double divisor) const {
        const std::size_t w = width();
        for (std::size_t k = 0; k < w; ++k) x[k] = x[k] / divisor;
    }

    [[gnu::always_inline]] std::size_t reduce(double* x, double* basis, const std::size_t* pivots,
                                              std::size_t first, std::size_t rank, double tol) const {
        eliminate(x, basis, pivots, first, rank, tol);
        const std::size_t c = pivot(x, tol);
        if (c == width()) return c;
        divide(x, x[c]);
        back_substitute(basis, x, c, 0, rank, tol);
        return c;
    }
};

}  // namespace

__attribute__((target_clones("avx2", "default"))) std::size_t reduce_row(double* x, double* basis,
                                                                         const std::size_t* pivots,
                                                                         std::size_t first, std::size_t rank,
                                                                         std::size_t count, double tol) {
    // A compile-time width for the rows of up to 32 nodes in the plane and
    // 21 in space, the run-time width otherwise.
    switch (count) {
#define KORVALE_WIDTH(w) \
    case w:              \
        return DenseRow<w>{count}.reduce(x, basis, pivots, first, rank, tol);
        KORVALE_WIDTH(6) KORVALE_WIDTH(8) KORVALE_WIDTH(10) KORVALE_WIDTH(12) KORVALE_WIDTH(14) KORVALE_WIDTH(15)
        KORVALE_WIDTH(16) KORVALE_WIDTH(18) KORVALE_WIDTH(20) KORVALE_WIDTH(21) KORVALE_WIDTH(22) KORVALE_WIDTH(24)
        KORVALE_WIDTH(26) KORVALE_WIDTH(27) KORVALE_WIDTH(28) KORVALE_WIDTH(30) KORVALE_WIDTH(32) KORVALE_WIDTH(33)
        KORVALE_WIDTH(34) KORVALE_WIDTH(36) KORVALE_WIDTH(38) KORVALE_WIDTH(39) KORVALE_WIDTH(40) KORVALE_WIDTH(42)
        KORVALE_WIDTH(44) KORVALE_WIDTH(45) KORVALE_WIDTH(46) KORVALE_WIDTH(48) KORVALE_WIDTH(50) KORVALE_WIDTH(51)
        KORVALE_WIDTH(52) KORVALE_WIDTH(54) KORVALE_WIDTH(56) KORVALE_WIDTH(57) KORVALE_WIDTH(58) KORVALE_WIDTH(60)
        KORVALE_WIDTH(62) KORVALE_WIDTH(63) KORVALE_WIDTH(64)
#undef KORVALE_WIDTH
        default:
            return DenseRow<0>{count}.reduce(x, basis, pivots, first, rank, tol);
    }
}

__attribute__((target_clones("avx2", "default"))) void back_substitute_rows(double* basis, const double* source,
                                                                           std::size_t c, std::size_t first,
                                                                           std::size_t end, std::size_t count,
                                                                           double tol) {
    DenseRow<0>{count}.back_substitute(basis, source, c, first, end, tol);
}

__attribute__((target_clones("avx2", "default"))) std::size_t choose_pivot(const double* x, std::size_t count,
                                                                           double tol) {
    return DenseRow<0>{count}.pivot(x, tol);
}

namespace {

void subtract_many_tail(double* target, const double* const* sources, const double* factors, std::size_t updates,
                        std::size_t from, std::size_t count) {
    for (std::size_t k = from; k < count; ++k) {
        double x = target[k];
        for (std::size_t u = 0; u < updates; ++u) x = x - sources[u][k] * factors[u];
        target[k] = x;
    }
}

#if defined(__x86_64__)
// Sixteen entries at a time in four independent chains, so that the
// subtractions of successive updates to one entry do not wait on each other.
__attribute__((target("avx2"))) void subtract_many_avx2(double* target, const double* const* sources,
                                                        const double* factors, std::size_t updates,
                                                        std::size_t count) {
    __m256d f[16];
    for (std::size_t u = 0; u < updates; ++u) f[u] = _mm256_set1_pd(factors[u]);
    std::size_t k = 0;
    for (; k + 16 <= count; k += 16) {
        __m256d x0 = _mm256_loadu_pd(target + k), x1 = _mm256_loadu_pd(target + k + 4);
        __m256d x2 = _mm256_loadu_pd(target + k + 8), x3 = _mm256_loadu_pd(target + k + 12);
        for (std::size_t u = 0; u < updates; ++u) {
            const double* s = sources[u] + k;
            x0 = _mm256_sub_pd(x0, _mm256_mul_pd(_mm256_loadu_pd(s), f[u]));
            x1 = _mm256_sub_pd(x1, _mm256_mul_pd(_mm256_loadu_pd(s + 4), f[u]));
            x2 = _mm256_sub_pd(x2, _mm256_mul_pd(_mm256_loadu_pd(s + 8), f[u]));
            x3 = _mm256_sub_pd(x3, _mm256_mul_pd(_mm256_loadu_pd(s + 12), f[u]));
        }
        _mm256_storeu_pd(target + k, x0);
        _mm256_storeu_pd(target + k + 4, x1);
        _mm256_storeu_pd(target + k + 8, x2);
        _mm256_storeu_pd(target + k + 12, x3);
    }
    for (; k + 4 <= count; k += 4) {
        __m256d x = _mm256_loadu_pd(target + k);
        for (std::size_t u = 0; u < updates; ++u) x = _mm256_sub_pd(x, _mm256_mul_pd(_mm256_loadu_pd(sources[u] + k), f[u]));
        _mm256_storeu_pd(target + k, x);
    }
    subtract_many_tail(target, sources, factors, updates, k, count);
}

// The same with two-wide vectors, which every x86-64 processor has.
void subtract_many_sse2(double* target, const double* const* sources, const double* factors, std::size_t updates,
                        std::size_t count) {
    __m128d f[16];
    for (std::size_t u = 0; u < updates; ++u) f[u] = _mm_set1_pd(factors[u]);
    std::size_t k = 0;
    for (; k + 8 <= count; k += 8) {
        __m128d x0 = _mm_loadu_pd(target + k), x1 = _mm_loadu_pd(target + k + 2);
        __m128d x2 = _mm_loadu_pd(target + k + 4), x3 = _mm_loadu_pd(target + k + 6);
        for (std::size_t u = 0; u < updates; ++u) {
            const double* s = sources[u] + k;
            x0 = _mm_sub_pd(x0, _mm_mul_pd(_mm_loadu_pd(s), f[u]));
            x1 = _mm_sub_pd(x1, _mm_mul_pd(_mm_loadu_pd(s + 2), f[u]));
            x2 = _mm_sub_pd(x2, _mm_mul_pd(_mm_loadu_pd(s + 4), f[u]));
            x3 = _mm_sub_pd(x3, _mm_mul_pd(_mm_loadu_pd(s + 6), f[u]));
        }
        _mm_storeu_pd(target + k, x0);
        _mm_storeu_pd(target + k + 2, x1);
        _mm_storeu_pd(target + k + 4, x2);
        _mm_storeu_pd(target + k + 6, x3);
    }
    subtract_many_tail(target, sources, factors, updates, k, count);
}
#endif

using SubtractMany = void (*)(double*, const double* const*, const double*, std::size_t, std::size_t);

SubtractMany pick_subtract_many() {
#if defined(__x86_64__)
    return __builtin_cpu_supports("avx2") ? subtract_many_avx2 : subtract_many_sse2;
#else
    return [](double* t, const double* const* s, const double* f, std::size_t u, std::size_t c) {
        subtract_many_tail(t, s, f, u, 0, c);
    };
#endif
}

}  // namespace

void subtract_many(double* __restrict target, const double* const* sources, const double* factors,
                   std::size_t updates, std::size_t count) {
    static const SubtractMany chosen = pick_subtract_many();
    chosen(target, sources, factors, updates, count);
}

}  // namespace korvale

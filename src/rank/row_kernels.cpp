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

__attribute__((target_clones("avx2", "default"))) void divide_all(double* values, double divisor,
                                                                 std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) values[k] = values[k] / divisor;
}

__attribute__((target_clones("avx2", "default"))) void eliminate_rows(double* __restrict x,
                                                                     const double* __restrict basis,
                                                                     const std::size_t* pivots, std::size_t first,
                                                                     std::size_t rank, std::size_t count, double tol) {
    for (std::size_t r = first; r < rank; ++r) {
        const double f = x[pivots[r]];
        if (!(std::fabs(f) > tol)) continue;
        const double* b = basis + r * count;
        for (std::size_t k = 0; k < count; ++k) x[k] = x[k] - b[k] * f;
    }
}

__attribute__((target_clones("avx2", "default"))) void back_substitute_rows(double* basis, const double* source,
                                                                           std::size_t c, std::size_t first,
                                                                           std::size_t end, std::size_t count,
                                                                           double tol) {
    for (std::size_t r = first; r < end; ++r) {
        double* __restrict t = basis + r * count;
        const double g = t[c];
        if (!(std::fabs(g) > tol)) continue;
        const double* __restrict s = source;
        for (std::size_t k = 0; k < count; ++k) t[k] = t[k] - s[k] * g;
    }
}

__attribute__((target_clones("avx2", "default"))) std::size_t choose_pivot(const double* x, std::size_t count,
                                                                           double tol) {
    // The bits of a magnitude order like its value (it is >= 0 and not
    // NaN), and integer maxima vectorise where double ones do not; 0 marks
    // the entries that do not count, the others are shifted up by one.
    std::int64_t best = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const double a = std::fabs(x[k]);
        const std::int64_t counted = a > tol ? std::bit_cast<std::int64_t>(a) + 1 : 0;
        best = counted > best ? counted : best;
    }
    if (best == 0) return count;
    const double largest = std::bit_cast<double>(best - 1);
    std::size_t k = 0;
    while (!(std::fabs(x[k]) == largest && std::fabs(x[k]) > tol)) ++k;
    return k;
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

// The Jacobi eigen-decomposition transcribed literally: a full row-major
// scan of the strict upper triangle per rotation, a fresh matrix built for
// every rotation, and a stable descending sort. The production solver must
// give the same bits, values and vectors. The angle, cosine and sine are the
// correctly rounded ones, as in production.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "reconstruct/correct_rounding.hpp"
#include "core/records.hpp"

namespace reference {

struct Eigen {
    std::vector<double> values;
    korvale::Matrix vectors;
    std::uint64_t rotations = 0;
};

// pass_limit 0 means: rotate until converged.
inline Eigen jacobi(const korvale::Matrix& a0, std::uint64_t pass_limit) {
    const std::size_t n = a0.rows;
    korvale::Matrix a = a0;
    korvale::Matrix v(n, n);
    for (std::size_t i = 0; i < n; ++i) v(i, i) = 1.0;
    Eigen out;
    std::uint64_t passes = 0;
    while (pass_limit == 0 || passes < pass_limit) {
        passes += 1;
        double max = 0.0;
        std::size_t p = 0, q = 1;
        for (std::size_t i = 0; i + 1 < n; ++i) {
            for (std::size_t j = i + 1; j < n; ++j) {
                const double m = std::fabs(a(i, j));
                if (m > max) {
                    max = m;
                    p = i;
                    q = j;
                }
            }
        }
        if (max < 1e-12) break;
        const double diff = a(q, q) - a(p, p);
        double theta;
        if (std::fabs(diff) < 1e-15) {
            theta = 0.7853981633974483;
        } else {
            theta = korvale::cr_atan((a(p, q) + a(p, q)) / diff) * 0.5;
        }
        const double c = korvale::cr_cos(theta), s = korvale::cr_sin(theta);
        korvale::Matrix b = a;
        for (std::size_t k = 0; k < n; ++k) {
            if (k == p || k == q) continue;
            const double kp = a(k, p) * c - a(k, q) * s;
            const double kq = a(k, q) * c + a(k, p) * s;
            b(k, p) = kp;
            b(k, q) = kq;
            b(p, k) = kp;
            b(q, k) = kq;
        }
        const double c2 = c * c, s2 = s * s, t = (s + s) * c;
        b(p, p) = (a(p, p) * c2 - a(p, q) * t) + a(q, q) * s2;
        b(q, q) = c2 * a(q, q) + (t * a(p, q) + s2 * a(p, p));
        b(p, q) = 0.0;
        b(q, p) = 0.0;
        a = b;
        for (std::size_t k = 0; k < n; ++k) {
            const double vp = v(k, p), vq = v(k, q);
            v(k, p) = c * vp - s * vq;
            v(k, q) = c * vq + s * vp;
        }
        out.rotations += 1;
    }
    // Insertion steps: a pair moves before its neighbour only when strictly
    // greater, which also fixes where NaN values stay.
    std::vector<std::pair<double, std::size_t>> pairs;
    for (std::size_t k = 0; k < n; ++k) {
        pairs.push_back({a(k, k), k});
        for (std::size_t j = pairs.size() - 1; j > 0 && pairs[j].first > pairs[j - 1].first; --j)
            std::swap(pairs[j], pairs[j - 1]);
    }
    out.vectors = korvale::Matrix(n, n);
    for (std::size_t k = 0; k < n; ++k) {
        out.values.push_back(pairs[k].first);
        for (std::size_t i = 0; i < n; ++i) out.vectors(i, k) = v(i, pairs[k].second);
    }
    return out;
}

}  // namespace reference

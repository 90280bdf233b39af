#include "reconstruct/jacobi_eigen.hpp"

#include <cmath>
#include <cstring>
#include <utility>

#include "reconstruct/correct_rounding.hpp"
#include "core/interrupt.hpp"

namespace korvale {

namespace {

constexpr double convergence_threshold = 1e-12;
constexpr double equal_diagonal_threshold = 1e-15;
constexpr double fixed_angle = 0.7853981633974483;  // pi/4

// The largest |A[i][j]| of one row of the strict upper triangle and the first
// column holding it (value 0.0 when nothing beats 0.0). A stale row's best
// entry has shrunk since it was found: its value is then only an upper bound
// on the row's maximum, and the row is rescanned only if that bound could
// still win.
struct RowBest {
    double value = 0.0;
    std::size_t col = 0;
    bool stale = false;
};

// Finds, for the working matrix A, the element that the row-major
// strict-greater scan of the strict upper triangle would pick, without
// scanning it all: a rotation in the (p, q) plane changes only rows p and q
// and the entries (k, p), (k, q) of the rows above.
class PivotSearch {
public:
    explicit PivotSearch(const Matrix& a) : a_(a), best_(a.rows) {
        for (std::size_t i = 0; i < a.rows; ++i) rescan(i);
    }

    // The pivot (p, q) and its magnitude; (0, 1) and 0.0 when none beats 0.
    double find(std::size_t& p, std::size_t& q) {
        // The fresh rows' maximum is a lower bound on the answer, so a stale
        // row whose bound is below it cannot win; nor can one equal to it
        // that comes after the fresh row holding it.
        double fresh_max = 0.0;
        std::size_t fresh_row = best_.size();
        for (std::size_t i = 0; i < best_.size(); ++i) {
            if (!best_[i].stale && best_[i].value > fresh_max) {
                fresh_max = best_[i].value;
                fresh_row = i;
            }
        }
        double max = 0.0;
        p = 0;
        q = 1;
        for (std::size_t i = 0; i < best_.size(); ++i) {
            RowBest& b = best_[i];
            if (b.stale) {
                if (!(b.value > fresh_max || (b.value == fresh_max && i < fresh_row))) continue;
                rescan(i);
            }
            if (b.value > max) {
                max = b.value;
                p = i;
                q = b.col;
            }
        }
        return max;
    }

    void rescan(std::size_t i) {
        RowBest b;
        const double* row = a_.row(i);
        for (std::size_t j = i + 1; j < a_.cols; ++j) {
            const double m = std::fabs(row[j]);
            if (m > b.value) {
                b.value = m;
                b.col = j;
            }
        }
        best_[i] = b;
    }

    // Entry (k, j) of row k, j > k, has just been set to value (passed in
    // by the rotation, which holds it, instead of read back from a column).
    void note_change(std::size_t k, std::size_t j, double value) {
        RowBest& b = best_[k];
        const double m = std::fabs(value);
        if (b.stale) {
            if (m > b.value) b.value = m;  // still an upper bound
        } else if (b.value > 0.0 && b.col == j) {
            if (m < b.value || m != m) b.stale = true;  // keeps the old value as the bound
            else b.value = m;                          // still the first maximum
        } else if (m > b.value || (m == b.value && b.value > 0.0 && j < b.col)) {
            b.value = m;
            b.col = j;
        }
    }

private:
    const Matrix& a_;
    std::vector<RowBest> best_;
};

}  // namespace

// Dense random symmetric matrices, the slowest finite inputs measured, need
// about 2.4 n^2 rotations; low-rank Gram matrices of points about 10 n.
std::uint64_t safety_rotation_limit(std::size_t n) {
    const std::uint64_t wide = n;
    const std::uint64_t limit = 32 * wide * wide;
    return limit < 500 ? 500 : limit;
}

EigenDecomposition jacobi_eigen(const Matrix& a0, std::uint64_t rotation_limit, std::size_t vectors) {
    const std::size_t n = a0.rows;
    if (rotation_limit == 0) rotation_limit = safety_rotation_limit(n);
    Matrix a = a0;
    // vt holds V transposed: rotating columns p and q of V touches two
    // contiguous rows here.
    Matrix vt(n, n);
    for (std::size_t i = 0; i < n; ++i) vt(i, i) = 1.0;

    // mirrored[i]: row i equals column i bit for bit, so column i can be read
    // along row i. A rotation in the (p, q) plane makes rows p and q so, and
    // keeps every row that was.
    std::vector<char> mirrored(n, 1);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t k = 0; k < n && mirrored[i]; ++k)
            mirrored[i] = std::memcmp(&a(i, k), &a(k, i), sizeof(double)) == 0;

    EigenDecomposition out;
    InterruptPoll poll;
    PivotSearch search(a);
    while (out.rotations < rotation_limit) {
        std::size_t p, q;
        if (search.find(p, q) < convergence_threshold) break;

        const double app = a(p, p), aqq = a(q, q), apq = a(p, q);
        const double diff = aqq - app;
        const double theta =
            std::fabs(diff) < equal_diagonal_threshold ? fixed_angle : cr_atan((apq + apq) / diff) * 0.5;
        const double c = cr_cos(theta), s = cr_sin(theta);

        // Each k reads only A[k][p] and A[k][q] and writes them and their
        // mirrors A[p][k], A[q][k], so updating in place reads old values.
        const bool rows_readable = mirrored[p] && mirrored[q];
        const double* row_p = a.row(p);
        const double* row_q = a.row(q);
        for (std::size_t k = 0; k < n; ++k) {
            if (k == p || k == q) continue;
            const double akp = rows_readable ? row_p[k] : a(k, p);
            const double akq = rows_readable ? row_q[k] : a(k, q);
            const double kp = akp * c - akq * s;
            const double kq = akq * c + akp * s;
            a(k, p) = kp;
            a(k, q) = kq;
            a(p, k) = kp;
            a(q, k) = kq;
            // Rows above q change at columns p and/or q (rows p and q are
            // rescanned below); row k's best depends on row k alone.
            if (k < q) {
                if (k < p) search.note_change(k, p, kp);
                search.note_change(k, q, kq);
            }
        }
        const double c2 = c * c, s2 = s * s, t = (s + s) * c;
        a(p, p) = (app * c2 - apq * t) + aqq * s2;
        a(q, q) = c2 * aqq + (t * apq + s2 * app);
        a(p, q) = 0.0;
        a(q, p) = 0.0;
        mirrored[p] = mirrored[q] = 1;

        double* vp = vt.row(p);
        double* vq = vt.row(q);
        for (std::size_t k = 0; k < n; ++k) {
            const double x = vp[k], y = vq[k];
            vp[k] = c * x - s * y;
            vq[k] = c * y + s * x;
        }

        search.rescan(p);
        search.rescan(q);
        ++out.rotations;
        poll(16 * n);
    }

    // Stable descending insertion sort: a pair moves before its neighbour
    // only when its value is strictly greater, so NaN never moves past one.
    std::vector<std::pair<double, std::size_t>> order(n);
    for (std::size_t k = 0; k < n; ++k) order[k] = {a(k, k), k};
    for (std::size_t i = 1; i < n; ++i) {
        const auto item = order[i];
        std::size_t j = i;
        for (; j > 0 && item.first > order[j - 1].first; --j) order[j] = order[j - 1];
        order[j] = item;
    }
    out.values.resize(n);
    const std::size_t copied = vectors < n ? vectors : n;
    out.vectors = Matrix(n, copied);
    for (std::size_t k = 0; k < n; ++k) {
        out.values[k] = order[k].first;
        if (k >= copied) continue;
        const double* column = vt.row(order[k].second);
        for (std::size_t i = 0; i < n; ++i) out.vectors(i, k) = column[i];
    }
    return out;
}

}  // namespace korvale

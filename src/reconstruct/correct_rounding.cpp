#include "reconstruct/correct_rounding.hpp"

#include <cmath>

#include <mpfr.h>

namespace korvale {

namespace {

// Double-double numbers: hi + lo with |lo| <= ulp(hi) / 2. Every product
// is formed exactly by Dekker's splitting (no fused multiply-add).
struct DD {
    double hi, lo;
};

DD two_sum(double a, double b) {
    const double s = a + b, v = s - a;
    return {s, (a - (s - v)) + (b - v)};
}
DD fast_two_sum(double a, double b) {  // |a| >= |b|
    const double s = a + b;
    return {s, b - (s - a)};
}
DD two_prod(double a, double b) {
    const double p = a * b;
    const double ca = 134217729.0 * a, ah = ca - (ca - a), al = a - ah;
    const double cb = 134217729.0 * b, bh = cb - (cb - b), bl = b - bh;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}
DD add(DD a, DD b) {
    DD s = two_sum(a.hi, b.hi);
    const DD t = two_sum(a.lo, b.lo);
    s = fast_two_sum(s.hi, s.lo + t.hi);
    return fast_two_sum(s.hi, s.lo + t.lo);
}
DD mul(DD a, DD b) {
    const DD p = two_prod(a.hi, b.hi);
    return fast_two_sum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}
DD div(DD a, DD b) {
    const double q1 = a.hi / b.hi;
    DD r = add(a, mul(b, {-q1, 0.0}));
    const double q2 = r.hi / b.hi;
    r = add(r, mul(b, {-q2, 0.0}));
    const double q3 = r.hi / b.hi;
    return add(fast_two_sum(q1, q2), {q3, 0.0});
}
DD neg(DD a) { return {-a.hi, -a.lo}; }

// a + b when they cannot cancel (|a| <= |b| / 2, same or opposite sign):
// the short form, relative error a few units of 2^-106.
DD add_small(DD a, DD b) {
    const DD s = two_sum(a.hi, b.hi);
    return fast_two_sum(s.hi, s.lo + (a.lo + b.lo));
}

// p y for a fixed y whose high part is split once (Horner's rule).
struct Multiplier {
    DD y;
    double high, low;
    explicit Multiplier(DD v) : y(v) {
        const double c = 134217729.0 * v.hi;
        high = c - (c - v.hi);
        low = v.hi - high;
    }
    DD times(DD p) const {
        const double q = p.hi * y.hi;
        const double c = 134217729.0 * p.hi, ph = c - (c - p.hi), pl = p.hi - ph;
        const double err = ((ph * high - q) + ph * low + pl * high) + pl * low;
        return fast_two_sum(q, err + (p.hi * y.lo + p.lo * y.hi));
    }
};

// The double nearest an MPFR value, and a DD holding it to ~106 bits.
DD dd_of(mpfr_t v) {
    mpfr_t rest;
    mpfr_init2(rest, 256);
    const double hi = mpfr_get_d(v, MPFR_RNDN);
    mpfr_sub_d(rest, v, hi, MPFR_RNDN);
    const double lo = mpfr_get_d(rest, MPFR_RNDN);
    mpfr_clear(rest);
    return {hi, lo};
}

// Constants, computed once with MPFR at 256 bits.
struct Tables {
    static constexpr int series = 14;       // Taylor terms for sin and cos
    static constexpr int atan_terms = 10;   // terms of atan(t), |t| <= 1/128
    static constexpr int atan_points = 65;  // atan(j / 64), j = 0 .. 64
    DD sin_c[series], cos_c[series], atan_c[atan_terms], atan_at[atan_points], half_pi;

    Tables() {
        mpfr_t v;
        mpfr_init2(v, 256);
        for (int k = 0; k < series; ++k) {
            mpfr_fac_ui(v, 2 * k + 1, MPFR_RNDN);
            mpfr_ui_div(v, 1, v, MPFR_RNDN);
            if (k % 2) mpfr_neg(v, v, MPFR_RNDN);
            sin_c[k] = dd_of(v);
            mpfr_fac_ui(v, 2 * k, MPFR_RNDN);
            mpfr_ui_div(v, 1, v, MPFR_RNDN);
            if (k % 2) mpfr_neg(v, v, MPFR_RNDN);
            cos_c[k] = dd_of(v);
        }
        for (int k = 0; k < atan_terms; ++k) {
            mpfr_set_si(v, k % 2 ? -1 : 1, MPFR_RNDN);
            mpfr_div_ui(v, v, 2 * k + 1, MPFR_RNDN);
            atan_c[k] = dd_of(v);
        }
        for (int j = 0; j < atan_points; ++j) {
            mpfr_set_ui(v, j, MPFR_RNDN);
            mpfr_div_ui(v, v, 64, MPFR_RNDN);
            mpfr_atan(v, v, MPFR_RNDN);
            atan_at[j] = dd_of(v);
        }
        mpfr_const_pi(v, MPFR_RNDN);
        mpfr_div_2ui(v, v, 1, MPFR_RNDN);
        half_pi = dd_of(v);
        mpfr_clear(v);
        mpfr_free_cache();
    }
};

const Tables& tables() {
    static const Tables t;  // thread-safe initialisation
    return t;
}

// Correctly rounded through MPFR: the function at 53 bits, rounded to
// nearest, is the double nearest the exact value.
double by_mpfr(int (*f)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t), double x) {
    mpfr_t v;
    mpfr_init2(v, 53);
    mpfr_set_d(v, x, MPFR_RNDN);
    f(v, v, MPFR_RNDN);  // the arguments that reach here give normal results
    const double out = mpfr_get_d(v, MPFR_RNDN);
    mpfr_clear(v);
    mpfr_free_cache();
    return out;
}

// The double nearest r when r's error is below 2^-75 |r| and that bound
// cannot move it across a rounding boundary; NaN otherwise (fall back).
double rounded_or_nan(DD r) {
    const double margin = std::fabs(r.hi) * 0x1p-75;
    const double low = r.hi + (r.lo - margin), high = r.hi + (r.lo + margin);
    return low == high ? low : NAN;
}

// sum_k c[k] y^k by Horner's rule: the terms from `exact` on, which add
// less than 2^-53 of the sum, in plain doubles (their error is then below
// 2^-104 of it), the leading ones in double-double.
template <int N>
DD polynomial(const DD (&c)[N], DD y, int exact) {
    double tail = c[N - 1].hi;
    for (int k = N - 2; k >= exact; --k) tail = tail * y.hi + c[k].hi;
    // Each step adds p y to a coefficient at least twice its size: the
    // series' terms shrink by a factor below 1/3 (sin, cos) or 2^-13 (atan).
    const Multiplier by(y);
    DD p{tail, 0.0};
    for (int k = exact - 1; k >= 0; --k) p = add_small(by.times(p), c[k]);
    return p;
}

}  // namespace

double cr_sin(double x) {
    if (std::isnan(x)) return x;
    const double a = std::fabs(x);
    if (a > 0.8) return by_mpfr(mpfr_sin, x);
    if (a < 0x1p-26) return x;  // x^3 / 6 is below half the gap under x
    const DD x2 = two_prod(x, x);
    // y = x^2 <= 0.64: from k = 8 on, y^k / (2k+1)! < 2^-53.
    const DD r = mul(polynomial(tables().sin_c, x2, 8), {x, 0.0});
    const double out = rounded_or_nan(r);
    return std::isnan(out) ? by_mpfr(mpfr_sin, x) : out;
}

double cr_cos(double x) {
    if (std::isnan(x)) return x;
    const double a = std::fabs(x);
    if (a > 0.8) return by_mpfr(mpfr_cos, x);
    if (a < 0x1p-27) return 1.0;  // x^2 / 2 is below half the gap under 1
    // From k = 9 on, y^k / (2k)! < 2^-53 (the sum is above 0.69).
    const DD r = polynomial(tables().cos_c, two_prod(x, x), 9);
    const double out = rounded_or_nan(r);
    return std::isnan(out) ? by_mpfr(mpfr_cos, x) : out;
}

double cr_atan(double x) {
    if (std::isnan(x)) return x;
    const double a = std::fabs(x);
    const Tables& t = tables();
    // Beyond 2^60, pi/2 - atan(x) < 2^-60 is far below half an ulp of pi/2.
    if (a > 0x1p60) return std::copysign(t.half_pi.hi, x);
    if (a < 0x1p-27) return x;  // x^3 / 3 is below half the gap under x
    // atan(a) = pi/2 - atan(1/a) for a > 1; then atan(y) = atan(c) +
    // atan((y - c) / (1 + y c)) with c = j/64 nearest y, |t| <= 1/128.
    const bool inverted = a > 1.0;
    const DD y = inverted ? div({1.0, 0.0}, {a, 0.0}) : DD{a, 0.0};
    const int j = static_cast<int>(std::nearbyint(y.hi * 64.0));
    const double c = j / 64.0;
    const DD tt = div(add(y, {-c, 0.0}), add({1.0, 0.0}, mul(y, {c, 0.0})));
    // t^2 <= 2^-14: from k = 4 on, t^(2k) / (2k+1) < 2^-56.
    const DD series = mul(polynomial(t.atan_c, mul(tt, tt), 4), tt);
    DD r = add(t.atan_at[j], series);
    if (inverted) r = add(t.half_pi, neg(r));
    double out = rounded_or_nan(r);
    if (std::isnan(out)) out = by_mpfr(mpfr_atan, a);
    return std::copysign(out, x);
}

}  // namespace korvale

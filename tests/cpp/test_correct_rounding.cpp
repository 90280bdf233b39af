// The correctly rounded functions against MPFR at 53 bits (correct by
// construction) over random and awkward arguments: every result equal.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <vector>

#include <mpfr.h>

#include "reconstruct/correct_rounding.hpp"
#include "random/engine.hpp"

namespace korvale {
namespace {

double reference(int (*f)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t), double x) {
    mpfr_t v;
    mpfr_init2(v, 53);
    mpfr_set_d(v, x, MPFR_RNDN);
    f(v, v, MPFR_RNDN);
    const double out = mpfr_get_d(v, MPFR_RNDN);
    mpfr_clear(v);
    return out;
}

// Random doubles with exponents spread over [low, high), both signs.
double spread(Engine& engine, int low, int high) {
    const double m = 1.0 + engine.uniform();
    const int e = low + static_cast<int>(engine.below(static_cast<std::uint64_t>(high - low)));
    return (engine.next() & 1 ? -1.0 : 1.0) * std::ldexp(m, e);
}

void expect_same(double got, double want, double x) {
    ASSERT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(want)) << "x = " << std::hexfloat << x;
}

TEST(CorrectRounding, ArctangentEqualsMpfr) {
    Engine engine(41);
    std::vector<double> xs = {0.0, -0.0, 1.0, -1.0, 0x1p-27, 0x1.fffffffffffffp-28, 0x1p60, 0x1.0000000000001p60,
                              1e300, -1e-300, 1.0 / 128, 3.0 / 128, 0.5, 2.0, 64.0, 0x1.fffffffffffffp-1};
    for (int t = 0; t < 40000; ++t) xs.push_back(spread(engine, -40, 70));
    for (int t = 0; t < 10000; ++t) xs.push_back(engine.uniform() * 2.0 - 1.0);  // angles the rotation meets most
    for (int j = 0; j <= 64; ++j) xs.push_back((j + 0.5) / 64.0);               // between table points
    for (double x : xs) expect_same(cr_atan(x), reference(mpfr_atan, x), x);
    EXPECT_EQ(cr_atan(std::numeric_limits<double>::infinity()), reference(mpfr_atan, INFINITY));
    EXPECT_TRUE(std::isnan(cr_atan(NAN)));
}

TEST(CorrectRounding, CosineAndSineEqualMpfr) {
    Engine engine(42);
    std::vector<double> xs = {0.0, -0.0, 0x1p-26, 0x1p-27, 0x1.fffffffffffffp-28, 0.7853981633974483, 0.8, -0.8,
                              0x1.999999999999ap-1, 1.0, 3.0, 1e6};
    for (int t = 0; t < 30000; ++t) xs.push_back((engine.uniform() * 2.0 - 1.0) * 0.7853981633974483);
    for (int t = 0; t < 10000; ++t) xs.push_back(spread(engine, -60, -1));
    for (double x : xs) {
        expect_same(cr_cos(x), reference(mpfr_cos, x), x);
        expect_same(cr_sin(x), reference(mpfr_sin, x), x);
    }
    EXPECT_TRUE(std::isnan(cr_cos(NAN)) && std::isnan(cr_sin(NAN)));
}

}  // namespace
}  // namespace korvale

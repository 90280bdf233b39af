// The production tracker against the literal one, row by row: the same
// answers, the same pivots, and the same basis up to the signs of zeros.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "rank/rank_tracker.hpp"
#include "reference/literal_simulation.hpp"

using korvale::RankTracker;
using korvale::RowEntry;

namespace {

// Equal values, or both NaN; +0.0 and -0.0 count as equal.
bool same_value(double a, double b) { return a == b || (a != a && b != b); }

::testing::AssertionResult same_basis(RankTracker& got, const reference::Tracker& want) {
    if (got.pivots() != want.pivots) return ::testing::AssertionFailure() << "pivots differ";
    const auto rows = got.rows();
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t k = 0; k < want.ncols; ++k)
            if (!same_value(rows[r][k], want.rows[r][k]))
                return ::testing::AssertionFailure()
                       << "row " << r << " col " << k << ": " << rows[r][k] << " vs " << want.rows[r][k];
    return ::testing::AssertionSuccess();
}

double special(std::mt19937_64& rng) {
    const double values[] = {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(), 1e300, -1e300, 1e-300};
    return values[rng() % 6];
}

// A sparse row of a few entries; the kinds of values make pivots drift,
// columns die and come back, and factors overflow.
std::vector<RowEntry> random_entries(std::mt19937_64& rng, std::size_t ncols, int kind, double tol) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<RowEntry> entries;
    const std::size_t count = 1 + rng() % 6;
    for (std::size_t t = 0; t < count; ++t) {
        const std::size_t col = rng() % ncols;
        bool seen = false;
        for (const auto& e : entries) seen = seen || e.col == col;
        if (seen) continue;
        double v = kind == 0 ? u(rng) : static_cast<double>(static_cast<int>(rng() % 5) - 2);
        if (kind == 2 && rng() % 3 == 0) v = tol * (rng() % 2 ? 1.0 : u(rng));  // at or under the tolerance
        if (kind == 3 && rng() % 9 == 0) v = special(rng);
        if (kind == 4) v *= 1e150;
        if (kind == 5) v *= rng() % 2 ? 1e250 : 1e-250;  // products overflow and underflow
        entries.push_back({col, v});
    }
    return entries;
}

}  // namespace

TEST(RankTrackerDifferential, RandomRowSequences) {
    std::mt19937_64 rng(11);
    const double tols[] = {1e-9, 0.0, 0.3, 1e-3, -1.0, std::numeric_limits<double>::quiet_NaN()};
    int accepted = 0, rejected = 0;
    for (int round = 0; round < 400; ++round) {
        const std::size_t ncols = 1 + rng() % 24;
        const double tol = tols[round % 6];
        const int kind = static_cast<int>(rng() % 6);
        RankTracker got(ncols, tol, RankTracker::Layout::live_columns);
        reference::Tracker want(ncols, tol);
        for (int step = 0; step < 40; ++step) {
            const auto entries = random_entries(rng, ncols, kind, tol);
            std::vector<double> dense(ncols, 0.0);
            for (const auto& e : entries) dense[e.col] = e.value;
            const bool expect = want.add_row(dense);
            const bool answer = step % 2 ? got.add_row(entries) : got.add_row(dense);
            ASSERT_EQ(answer, expect) << "round " << round << " step " << step;
            // Inspecting the basis applies deferred work; do it now and then
            // so that deferred work also meets the later rows.
            if (step % 13 == 12) {
                ASSERT_TRUE(same_basis(got, want)) << "round " << round << " step " << step;
            }
            (answer ? accepted : rejected) += 1;
        }
        ASSERT_TRUE(same_basis(got, want)) << "round " << round;
    }
    EXPECT_GT(accepted, 2000);
    EXPECT_GT(rejected, 2000);
}

TEST(RankTrackerDifferential, WideRowsKeepTheBasisExact) {
    // Rigidity-like rows: two blocks of two, growing in the way a labelling
    // pass grows, then dependent rows.
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> u(0.0, 5.0);
    const std::size_t n = 40, d = 2;
    std::vector<double> x(n * d);
    for (double& v : x) v = rng() % 4 == 0 ? std::round(u(rng)) : u(rng);
    RankTracker got(n * d, 1e-9, RankTracker::Layout::live_columns);
    reference::Tracker want(n * d, 1e-9);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            std::vector<RowEntry> entries;
            for (std::size_t k = 0; k < d; ++k) entries.push_back({i * d + k, x[i * d + k] - x[j * d + k]});
            for (std::size_t k = 0; k < d; ++k) entries.push_back({j * d + k, -(x[i * d + k] - x[j * d + k])});
            std::vector<double> dense(n * d, 0.0);
            for (const auto& e : entries) dense[e.col] = e.value;
            ASSERT_EQ(got.add_row(entries), want.add_row(dense)) << i << "," << j;
        }
    }
    EXPECT_EQ(got.rank(), n * d - 3);
    EXPECT_TRUE(same_basis(got, want));
}

TEST(RankTrackerDifferential, FactorOverflowingMidSweepSwitchesToThePlainSweep) {
    // Row 0 leaves a residual 1e-12 in column 1, so row 1's pivot column
    // stays live; row 2 overflows that column while row 0 is eliminated, and
    // row 1's factor is then infinite.
    const double max = std::numeric_limits<double>::max();
    const std::vector<std::vector<double>> rows = {{1, 1e-12, 0}, {0, 1, 0}, {-1e308, max, 0}, {0, 0, 1}};
    RankTracker got(3, 1e-9, RankTracker::Layout::live_columns);
    reference::Tracker want(3, 1e-9);
    for (const auto& row : rows) EXPECT_EQ(got.add_row(row), want.add_row(row));
    EXPECT_TRUE(same_basis(got, want));
}

TEST(RankTrackerDifferential, DenseLayoutAgreesToo) {
    std::mt19937_64 rng(17);
    for (int round = 0; round < 60; ++round) {
        const std::size_t ncols = 1 + rng() % 20;
        RankTracker got(ncols, 1e-9, RankTracker::Layout::dense);
        reference::Tracker want(ncols, 1e-9);
        for (int step = 0; step < 30; ++step) {
            const auto entries = random_entries(rng, ncols, static_cast<int>(rng() % 6), 1e-9);
            std::vector<double> dense(ncols, 0.0);
            for (const auto& e : entries) dense[e.col] = e.value;
            ASSERT_EQ(got.add_row(entries), want.add_row(dense));
        }
        ASSERT_TRUE(same_basis(got, want));
    }
}

// The incremental rank tracker: the collinear trace step by step and the
// edges of the zero test.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "core/failure.hpp"
#include "rank/rank_tracker.hpp"
#include "rank/row_kernels.hpp"

using korvale::RankTracker;
using Row = std::vector<double>;

TEST(RankTracker, CollinearTrace) {
    RankTracker t(6, 1e-9);
    EXPECT_TRUE(t.add_row({-1, 0, 1, 0, 0, 0}));
    EXPECT_EQ(t.rank(), 1u);
    EXPECT_EQ(t.pivots(), (std::vector<std::size_t>{0}));
    EXPECT_EQ(t.rows()[0], (Row{1, 0, -1, 0, 0, 0}));

    EXPECT_TRUE(t.add_row({-2, 0, 0, 0, 2, 0}));
    EXPECT_EQ(t.rank(), 2u);
    EXPECT_EQ(t.pivots(), (std::vector<std::size_t>{0, 2}));
    EXPECT_EQ(t.rows()[0], (Row{1, 0, 0, 0, -1, 0}));
    EXPECT_EQ(t.rows()[1], (Row{0, 0, 1, 0, -1, 0}));

    EXPECT_FALSE(t.add_row({0, 0, -1, 0, 1, 0}));
    EXPECT_EQ(t.rank(), 2u);
    EXPECT_EQ(t.rows()[0], (Row{1, 0, 0, 0, -1, 0}));
    EXPECT_EQ(t.rows()[1], (Row{0, 0, 1, 0, -1, 0}));
}

TEST(RankTracker, PivotIsTheLargestQualifyingEntry) {
    RankTracker t(3, 1e-9);
    EXPECT_TRUE(t.add_row({0, 2e-9, -1e6}));
    EXPECT_EQ(t.pivots()[0], 2u);
    EXPECT_EQ(t.rows()[0], (Row{0, 2e-9 / -1e6, 1.0}));
    // Equal magnitudes: the lowest column wins, whatever the signs.
    EXPECT_TRUE(t.add_row({3, -3, 0}));
    EXPECT_EQ(t.pivots()[1], 0u);
}

TEST(RankTracker, InfinityIsTheLargestPivot) {
    const double inf = std::numeric_limits<double>::infinity();
    RankTracker t(4, 1e-9);
    EXPECT_TRUE(t.add_row({1e300, 0, -inf, inf}));
    EXPECT_EQ(t.pivots()[0], 2u);
}

TEST(RankTracker, EntryExactlyTolCountsAsZero) {
    RankTracker t(3, 0.5);
    EXPECT_FALSE(t.add_row({0.5, 0, -0.5}));
    EXPECT_TRUE(t.add_row({0.5, std::nextafter(0.5, 1.0), 0}));
    EXPECT_EQ(t.pivots()[0], 1u);
    // 0.5 does not count, so it cannot be chosen however it compares.
    EXPECT_TRUE(t.add_row({0.5, 0, 0.75}));
    EXPECT_EQ(t.pivots()[1], 2u);
}

TEST(RankTracker, ZeroAndTinyRowsAreRejected) {
    RankTracker t(4, 1e-9);
    EXPECT_FALSE(t.add_row({0, -0.0, 0, 0}));
    EXPECT_FALSE(t.add_row({1e-9, -1e-9, 5e-10, 0}));
    EXPECT_EQ(t.rank(), 0u);
}

TEST(RankTracker, MultiplesAndSumsAreDependent) {
    RankTracker t(4, 1e-9);
    EXPECT_TRUE(t.add_row({1, 2, 0, 3}));
    EXPECT_TRUE(t.add_row({0, 1, 1, 0}));
    EXPECT_FALSE(t.add_row({3, 6, 0, 9}));
    EXPECT_FALSE(t.add_row({1, 3, 1, 3}));
    EXPECT_EQ(t.rank(), 2u);
}

TEST(RankTracker, NanToleranceRejectsEverything) {
    RankTracker t(2, std::numeric_limits<double>::quiet_NaN());
    EXPECT_FALSE(t.add_row({1, 0}));
    EXPECT_FALSE(t.add_row({0, 1e300}));
    EXPECT_EQ(t.rank(), 0u);
}

TEST(RankTracker, ZeroToleranceCountsAnyNonZero) {
    RankTracker t(2, 0.0);
    EXPECT_TRUE(t.add_row({0, 1e-300}));
    EXPECT_EQ(t.pivots()[0], 1u);
    EXPECT_FALSE(t.add_row({0, -0.0}));
}

TEST(RankTracker, NanEntriesAreNeverPivots) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    RankTracker t(3, 1e-9);
    EXPECT_TRUE(t.add_row({nan, 0, 2}));
    EXPECT_EQ(t.pivots()[0], 2u);
    EXPECT_FALSE(t.add_row({nan, nan, 0}));
}

TEST(RankTracker, WrongWidthIsAnInternalFailure) {
    RankTracker t(6, 1e-9);
    try {
        t.add_row(Row(5, 1.0));
        FAIL() << "no failure";
    } catch (const korvale::InternalFailure& e) {
        EXPECT_STREQ(e.what(), "Row length 5 does not match ncols 6");
    }
    EXPECT_EQ(t.rank(), 0u);
}

// The vectorised pivot scan of dense rows picks what PivotChoice picks when
// offered the columns in order, on rows full of ties, zeros of both signs,
// infinities, NaN and values at the tolerance, for tolerances of every kind.
TEST(RankTracker, VectorisedPivotEqualsThePivotChoice) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    const double pool[] = {0.0, -0.0, 1e-9, -1e-9, 2e-9, 0.5, -0.5, 1.0, -1.0, 3.0, -3.0, 1e300, -1e300, inf, -inf, nan};
    const double tols[] = {1e-9, 0.0, -1.0, 0.5, 3.0, inf, nan};
    std::mt19937_64 rng(7);
    int with_pivot = 0;
    for (int round = 0; round < 20000; ++round) {
        const std::size_t count = 1 + rng() % 45;
        std::vector<double> x(count);
        for (double& v : x) v = pool[rng() % std::size(pool)];
        const double tol = tols[round % std::size(tols)];
        korvale::PivotChoice want;
        for (std::size_t k = 0; k < count; ++k) want.offer(k, x[k], tol);
        const std::size_t got = korvale::choose_pivot(x.data(), count, tol);
        ASSERT_EQ(got, want.col == korvale::PivotChoice::none ? count : want.col) << "round " << round;
        with_pivot += got != count;
    }
    EXPECT_GT(with_pivot, 10000);
}

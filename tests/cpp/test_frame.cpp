// Shared guards, the maximum-rank formula and double centring.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "core/failure.hpp"
#include "reconstruct/double_center.hpp"
#include "graph/candidate_edges.hpp"
#include "rigidity/max_rank.hpp"

using namespace korvale;

TEST(Failure, CapacityOverflowIsAnInternalFailure) {
    const std::size_t huge = std::numeric_limits<std::size_t>::max() / 4;
    EXPECT_EQ(checked_capacity(1000, 8), 1000u);
    try {
        checked_capacity(huge, 8);
        FAIL() << "no failure";
    } catch (const InternalFailure& e) {
        EXPECT_STREQ(e.what(), "capacity overflow");
    }
    EXPECT_THROW(checked_capacity(std::size_t{1} << 32, std::size_t{1} << 32, 8), InternalFailure);
    EXPECT_THROW(Matrix(std::size_t{1} << 40, std::size_t{1} << 40), InternalFailure);
}

TEST(Failure, IndexOutOfBoundsMessage) {
    std::vector<int> v(3);
    try {
        checked_at(v, 7);
        FAIL() << "no failure";
    } catch (const InternalFailure& e) {
        EXPECT_STREQ(e.what(), "index out of bounds: the len is 3 but the index is 7");
    }
}

TEST(MaxRank, FormulaAndSimplex) {
    EXPECT_EQ(max_independent_edges(3, 2), 3u);
    EXPECT_EQ(max_independent_edges(10, 3), 24u);
    EXPECT_EQ(max_independent_edges(5, 4), 10u);
    EXPECT_EQ(max_independent_edges(0, 0), 0u);
    EXPECT_EQ(max_independent_edges(1, 2), 0u);
    EXPECT_EQ(max_independent_edges(2, 3), 1u);
    EXPECT_EQ(max_independent_edges(0, 3), 0u);
    EXPECT_EQ(max_independent_edges(std::uint64_t{1} << 63, 2), UINT64_MAX - 2);
    EXPECT_FALSE(max_independent_edges(UINT64_MAX, 2).has_value());
    EXPECT_FALSE(max_independent_edges(std::uint64_t{1} << 33, UINT64_MAX).has_value());
}

TEST(EdgeCount, SmallAndOverflowing) {
    EXPECT_EQ(edge_count(0), 0u);
    EXPECT_EQ(edge_count(1), 0u);
    EXPECT_EQ(edge_count(5), 10u);
    EXPECT_EQ(edge_count(100001), 5000050000u);
    EXPECT_THROW(edge_count(std::size_t{1} << 40), InternalFailure);
}

TEST(DoubleCenter, Examples) {
    EXPECT_EQ(double_center(Matrix(0, 0)).data.size(), 0u);

    Matrix one(1, 1);
    one(0, 0) = 3.0;
    const Matrix g1 = double_center(one);
    EXPECT_EQ(g1(0, 0), 0.0);
    EXPECT_TRUE(std::signbit(g1(0, 0)));

    Matrix skew(2, 2);
    skew(0, 1) = 1.0;
    const Matrix g2 = double_center(skew);
    EXPECT_EQ(g2.data, (std::vector<double>{0.375, -0.375, 0.125, -0.125}));

    Matrix tri(3, 3);
    tri(0, 1) = tri(1, 0) = tri(0, 2) = tri(2, 0) = 1.0;
    tri(1, 2) = tri(2, 1) = std::sqrt(2.0);
    const Matrix g3 = double_center(tri);
    EXPECT_NEAR(g3(0, 0), 2.0 / 9, 1e-15);
    EXPECT_NEAR(g3(1, 1), 5.0 / 9, 1e-15);
    EXPECT_NEAR(g3(1, 2), -4.0 / 9, 1e-15);
    EXPECT_NEAR(g3(0, 2), -1.0 / 9, 1e-15);
}

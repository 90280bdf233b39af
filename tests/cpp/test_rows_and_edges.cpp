// Rigidity rows, candidate edges and pairwise distances.
#include <gtest/gtest.h>

#include <random>

#include <bit>

#include <cmath>
#include <limits>

#include "core/failure.hpp"
#include "rigidity/rigidity_row.hpp"
#include "graph/candidate_edges.hpp"
#include "simulation/distances.hpp"
#include "test_support.hpp"

using namespace korvale;

TEST(RigidityRow, ExampleWithSignedZero) {
    const std::vector<double> row = rigidity_row(make_coords({{0, 0}, {1, 0}, {0, 2}}), 0, 2);
    EXPECT_EQ(row, (std::vector<double>{0, -2, 0, 0, 0, 2}));
    EXPECT_FALSE(std::signbit(row[0]));
    EXPECT_TRUE(std::signbit(row[4]));  // -(+0.0)
    EXPECT_FALSE(std::signbit(row[2]));
}

TEST(RigidityRow, CoincidentNodesGiveAZeroRowOfFullWidth) {
    const std::vector<double> row = rigidity_row(make_coords({{1, 1, 1}, {4, 5, 6}, {1, 1, 1}, {0, 0, 0}}), 0, 2);
    ASSERT_EQ(row.size(), 12u);
    for (double v : row) EXPECT_EQ(v, 0.0);
}

TEST(RigidityRow, GuardsReportInternalFailures) {
    try {
        rigidity_row(make_coords({{0, 0}, {1, 0}, {0, 2}}), 1, 3);
        FAIL();
    } catch (const InternalFailure& e) {
        EXPECT_STREQ(e.what(), "index out of bounds: the len is 3 but the index is 3");
    }
}

TEST(CandidateEdges, SmallCounts) {
    EXPECT_TRUE(candidate_edges(0).empty());
    EXPECT_TRUE(candidate_edges(1).empty());
    EXPECT_EQ(candidate_edges(2), (EdgeList{{0, 1}}));
    EXPECT_EQ(candidate_edges(3), (EdgeList{{0, 1}, {0, 2}, {1, 2}}));
    EXPECT_EQ(candidate_edges(4), (EdgeList{{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}}));
    const EdgeList five = candidate_edges(5);
    ASSERT_EQ(five.size(), 10u);
    EXPECT_EQ(five.back(), (Edge{3, 4}));
}

TEST(CandidateEdges, WalkedPairsAreTheListInOrder) {
    for (std::size_t n = 0; n < 9; ++n) {
        AllPairs pairs(n);
        EdgeList walked;
        Edge e;
        while (pairs.next(e)) walked.push_back(e);
        EXPECT_EQ(walked, candidate_edges(n)) << n;
        EXPECT_EQ(pairs.size(), walked.size());
        EXPECT_FALSE(pairs.next(e));  // stays exhausted
    }
}

TEST(CandidateEdges, PrefixIsTheEdgesAtTheFirstDNodes) {
    for (std::size_t d : {2u, 3u}) {
        for (std::size_t n = d + 1; n < 12; ++n) {
            const EdgeList edges = candidate_edges(n);
            const std::size_t max_rank = n * d - d * (d + 1) / 2;
            for (std::size_t k = 0; k < edges.size(); ++k) EXPECT_EQ(k < max_rank, edges[k].i < d);
        }
    }
}

TEST(PairwiseDistances, ExactValuesSymmetryAndNonFinite) {
    const DistanceMatrix dist = pairwise_distances(make_coords({{0, 0}, {3, 4}, {6, 8}, {3, 4}}));
    EXPECT_EQ(dist.data, (std::vector<double>{0, 5, 10, 5, 5, 0, 5, 0, 10, 5, 0, 5, 5, 0, 5, 0}));

    const double inf = std::numeric_limits<double>::infinity();
    const DistanceMatrix bad = pairwise_distances(make_coords({{0, 0}, {inf, 1}, {2, 2}}));
    EXPECT_TRUE(std::isnan(bad(1, 1)));  // inf - inf
    EXPECT_TRUE(std::isinf(bad(0, 1)));
    EXPECT_EQ(bad(0, 2), std::sqrt(8.0));
}

// Each entry has the bits of its own order's computation: mirrored only
// when that cannot differ, never across NaN payloads.
TEST(PairwiseDistances, EveryEntryHasTheBitsOfItsOwnOrder) {
    const auto bits = [](double x) { return std::bit_cast<std::uint64_t>(x); };
    const auto direct = [](const std::vector<double>& a, const std::vector<double>& b) {
        volatile double s = 0.0;
        for (std::size_t c = 0; c < a.size(); ++c) {
            volatile double t = a[c] - b[c];
            s = s + t * t;
        }
        return std::sqrt(static_cast<double>(s));
    };
    const double payload_a = std::bit_cast<double>(0x7ff8000000000123ull);
    const double payload_b = std::bit_cast<double>(0xfff8000000000456ull);
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> u(-1e150, 1e150);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::vector<double>> coords(2 + rng() % 9);
        for (auto& c : coords) c = {u(rng), round % 3 == 0 ? -0.0 : u(rng) * 1e-300};
        if (round % 4 == 1) coords[0][0] = payload_a, coords[1][0] = payload_b;
        if (round % 4 == 2) coords[1][1] = std::numeric_limits<double>::infinity();
        const DistanceMatrix dist = pairwise_distances(make_coords(coords));
        for (std::size_t a = 0; a < coords.size(); ++a)
            for (std::size_t b = 0; b < coords.size(); ++b)
                ASSERT_EQ(bits(dist(a, b)), bits(direct(coords[a], coords[b]))) << round << " " << a << " " << b;
    }
}

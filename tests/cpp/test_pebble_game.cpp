// The pebble game: documented states, the invariant after rejections, and
// agreement of the iterative search with the recursive reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "core/failure.hpp"
#include "pebble/pebble_game.hpp"
#include "reference/literal_pebble.hpp"
#include "graph/candidate_edges.hpp"
#include "test_support.hpp"

using namespace korvale;
using Lists = std::vector<std::vector<std::size_t>>;

TEST(PebbleGame, TwoNodes) {
    PebbleGame game(2);
    EXPECT_TRUE(game.offer_edge(0, 1));
    EXPECT_EQ(game.pebbles(), (std::vector<std::int32_t>{2, 1}));
    EXPECT_EQ(game.out_edges(), (Lists{{}, {0}}));
}

TEST(PebbleGame, FourNodesCompleteGraphFinalState) {
    PebbleGame game(4);
    Labels labels;
    for (const Edge& e : candidate_edges(4)) labels.push_back(game.offer_edge(e.i, e.j));
    EXPECT_EQ(labels, (Labels{1, 1, 1, 1, 1, 0}));
    EXPECT_EQ(game.pebbles(), (std::vector<std::int32_t>{0, 2, 0, 1}));
    EXPECT_EQ(game.out_edges(), (Lists{{3, 1}, {}, {0, 1}, {1}}));
}

TEST(PebbleGame, SmallRuns) {
    EXPECT_TRUE(run_pebble_game(0, {}).labels.empty());
    EXPECT_TRUE(run_pebble_game(1, {}).accepted_edges.empty());
    EXPECT_TRUE(run_pebble_game_all_pairs(0).labels.empty());
    EXPECT_TRUE(run_pebble_game_all_pairs(1).labels.empty());
    EXPECT_EQ(run_pebble_game(3, candidate_edges(3)).labels, (Labels{1, 1, 1}));
    EXPECT_EQ(run_pebble_game(5, candidate_edges(5)).labels, (Labels{1, 1, 1, 1, 1, 1, 1, 0, 0, 0}));
}

TEST(PebbleGame, CompleteGraphAcceptsTheEdgesAtNodesZeroAndOne) {
    for (std::size_t n : {2u, 6u, 17u, 64u}) {
        const EdgeList edges = candidate_edges(n);
        const PebbleResult r = run_pebble_game(n, edges);
        for (std::size_t k = 0; k < edges.size(); ++k) EXPECT_EQ(r.labels[k], edges[k].i <= 1 ? 1 : 0);
        EXPECT_EQ(r.accepted_edges.size(), 2 * n - 3);
        const PebbleResult walked = run_pebble_game_all_pairs(n);
        EXPECT_EQ(walked.labels, r.labels);
        EXPECT_EQ(walked.accepted_edges, r.accepted_edges);
    }
}

TEST(PebbleGame, OutOfRangeEndpointIsAnInternalFailure) {
    EXPECT_THROW(run_pebble_game(3, {{0, 1}, {1, 3}}), InternalFailure);
}

namespace {

EdgeList random_edges(std::mt19937_64& rng, std::size_t n, std::size_t count) {
    EdgeList edges;
    while (edges.size() < count) {
        std::size_t a = rng() % n, b = rng() % n;
        if (a == b) continue;
        edges.push_back({std::min(a, b), std::max(a, b)});
    }
    return edges;
}

}  // namespace

TEST(PebbleGame, IterativeSearchMatchesRecursiveReference) {
    std::mt19937_64 rng(5);
    int rejected = 0;
    for (int round = 0; round < 200; ++round) {
        const std::size_t n = 2 + rng() % 30;
        EdgeList edges = round % 2 ? random_edges(rng, n, rng() % (3 * n * n / 2 + 1)) : candidate_edges(n);
        if (round % 4 == 0) std::shuffle(edges.begin(), edges.end(), rng);
        PebbleGame game(n);
        reference::PebbleGame literal(n);
        for (const Edge& e : edges) {
            // The endpoints may come in either order.
            const bool flip = rng() % 2;
            const std::size_t u = flip ? e.j : e.i, v = flip ? e.i : e.j;
            const std::vector<std::int32_t> before = game.pebbles();
            const bool got = game.offer_edge(u, v);
            ASSERT_EQ(got, literal.offer_edge(u, v));
            ASSERT_EQ(game.pebbles(), literal.pebbles);
            ASSERT_EQ(game.out_edges(), literal.out_edges);
            for (std::size_t x = 0; x < n; ++x)
                ASSERT_EQ(game.pebbles()[x] + static_cast<std::int32_t>(game.out_edges()[x].size()), 2);
            if (!got) {
                ASSERT_EQ(game.pebbles(), before);
                ++rejected;
            }
        }
    }
    EXPECT_GT(rejected, 1000);
}

namespace {

// A triangulated strip on nodes 0 .. n-2 grown leftwards from its right end,
// which leaves the free pebbles at the left end, then node n-1 attached at
// the right end: gathering pebbles for it walks the whole strip.
std::pair<EdgeList, EdgeList> left_grown_strip(std::size_t n) {
    EdgeList strip{{n - 4, n - 3}, {n - 4, n - 2}, {n - 3, n - 2}};
    for (std::size_t lo = n - 4; lo-- > 0;) {
        strip.push_back({lo, lo + 1});
        strip.push_back({lo, lo + 2});
    }
    return {strip, EdgeList{{n - 3, n - 1}, {n - 2, n - 1}}};
}

}  // namespace

TEST(PebbleGame, DeepSearchesMatchTheReference) {
    const std::size_t n = 3000;  // searches thousands of nodes deep
    const auto [strip, last] = left_grown_strip(n);
    PebbleGame game(n);
    reference::PebbleGame literal(n);
    for (const EdgeList* edges : {&strip, &last}) {
        for (const Edge& e : *edges) {
            ASSERT_TRUE(game.offer_edge(e.i, e.j));
            ASSERT_TRUE(literal.offer_edge(e.i, e.j));
        }
    }
    EXPECT_EQ(game.out_edges(), literal.out_edges);
    EXPECT_EQ(game.pebbles(), literal.pebbles);
}

TEST(PebbleGame, MillionNodeSearchDoesNotRecurse) {
    const std::size_t n = 1000000;  // far deeper than a thread's stack allows
    const auto [strip, last] = left_grown_strip(n);
    PebbleGame game(n);
    for (const Edge& e : strip) ASSERT_TRUE(game.offer_edge(e.i, e.j));
    for (const Edge& e : last) EXPECT_TRUE(game.offer_edge(e.i, e.j));
    EXPECT_FALSE(game.offer_edge(n - 2, n - 4));  // already rigid: rolled back
    std::int64_t free = 0;
    for (std::int32_t p : game.pebbles()) free += p;
    EXPECT_EQ(free, 3);  // 2n pebbles, 2n - 3 bars
}

// The (k, l) pebble game against exhaustive search on small multigraphs:
// labels, rank, components and overconstrained edges by their definitions.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <map>
#include <random>

#include "pebble/kl_runs.hpp"
#include "pebble/pebble_game.hpp"
#include "graph/candidate_edges.hpp"
#include "test_support.hpp"

using namespace korvale;

namespace {

struct Brute {
    std::size_t n;
    const EdgeList& edges;
    long k, l;

    // Edges of the set (a bitmask over edges) inside the node set S.
    long inside(std::uint32_t set, std::uint32_t s) const {
        long count = 0;
        for (std::size_t e = 0; e < edges.size(); ++e)
            if ((set >> e & 1) && (s >> edges[e].i & 1) && (s >> edges[e].j & 1)) ++count;
        return count;
    }
    bool sparse(std::uint32_t set) const {
        for (std::uint32_t s = 0; s < (1u << n); ++s)
            if (std::popcount(s) >= 2 && inside(set, s) > k * std::popcount(s) - l) return false;
        return true;
    }
    std::uint32_t greedy(std::uint32_t allowed) const {
        std::uint32_t a = 0;
        for (std::size_t e = 0; e < edges.size(); ++e)
            if ((allowed >> e & 1) && sparse(a | 1u << e)) a |= 1u << e;
        return a;
    }
    bool connected(std::uint32_t set, std::uint32_t s) const {
        std::uint32_t reach = s & (0u - s);  // lowest node of s
        for (bool grew = true; grew;) {
            grew = false;
            for (std::size_t e = 0; e < edges.size(); ++e) {
                if (!(set >> e & 1) || !(s >> edges[e].i & 1) || !(s >> edges[e].j & 1)) continue;
                const std::uint32_t both = 1u << edges[e].i | 1u << edges[e].j;
                if ((reach & both) && (reach & both) != both) reach |= both, grew = true;
            }
        }
        return reach == s;
    }
};

// m edges between random distinct endpoints (parallel edges allowed).
EdgeList random_multigraph(std::mt19937_64& rng, std::size_t n, std::size_t m) {
    EdgeList edges;
    for (std::size_t e = 0; e < m; ++e) {
        const std::size_t a = rng() % n;
        std::size_t b = rng() % (n - 1);
        if (b >= a) ++b;
        edges.push_back({a, b});
    }
    return edges;
}

std::string describe(const EdgeList& edges, const KLGameResult& got) {
    std::string text;
    for (std::size_t e = 0; e < edges.size(); ++e)
        text += "(" + std::to_string(edges[e].i) + "," + std::to_string(edges[e].j) + ")" +
                (got.labels[e] ? "+" : "-") + "c" + std::to_string(got.components[e]) + " ";
    return text;
}

}  // namespace

TEST(KLPebbleGame, AgreesWithExhaustiveSearchOnSmallMultigraphs) {
    const std::pair<long, long> counts[] = {{1, 0}, {1, 1}, {2, 2}, {2, 3}, {3, 3}, {3, 5}, {6, 6}, {2, 1}};
    std::mt19937_64 rng(15);
    int graphs = 0, with_components = 0, with_none = 0, overconstrained = 0;
    for (int round = 0; round < 20000; ++round) {
        const auto [k, l] = counts[round % 8];
        const std::size_t n = 2 + rng() % 6;
        const std::size_t m = rng() % 12;
        const EdgeList edges = random_multigraph(rng, n, m);
        const Brute brute{n, edges, k, l};
        const std::uint32_t all = m == 32 ? ~0u : (1u << m) - 1;
        const std::uint32_t basis = brute.greedy(all);
        const KLGameResult got = kl_pebble_game(n, edges, static_cast<std::uint32_t>(k), static_cast<std::uint32_t>(l));

        for (std::size_t e = 0; e < m; ++e) ASSERT_EQ(got.labels[e], basis >> e & 1) << "round " << round;
        ASSERT_EQ(got.rank, static_cast<std::uint64_t>(std::popcount(basis)));
        ASSERT_EQ(got.max_rank, static_cast<std::uint64_t>(std::max(0L, k * static_cast<long>(n) - l)));
        for (std::size_t e = 0; e < m; ++e) {
            const bool in_circuit = std::popcount(brute.greedy(all & ~(1u << e))) == std::popcount(basis);
            ASSERT_EQ(got.overconstrained[e], in_circuit ? 1 : 0) << "round " << round << " edge " << e;
            overconstrained += in_circuit;
        }

        // Components: maximal connected tight node sets of the basis.
        std::vector<std::uint32_t> tight;
        for (std::uint32_t s = 0; s < (1u << n); ++s)
            if (std::popcount(s) >= 2 && brute.inside(basis, s) == k * std::popcount(s) - l && brute.connected(basis, s))
                tight.push_back(s);
        std::vector<std::uint32_t> maximal;
        for (std::uint32_t s : tight)
            if (std::none_of(tight.begin(), tight.end(), [&](std::uint32_t t) { return t != s && (t & s) == s; }))
                maximal.push_back(s);
        std::map<std::uint32_t, std::int64_t> ids;
        std::uint64_t largest = 0;
        for (std::size_t e = 0; e < m; ++e) {
            const std::uint32_t ends = 1u << edges[e].i | 1u << edges[e].j;
            std::int64_t want = -1;
            for (std::uint32_t s : maximal) {
                if ((s & ends) != ends) continue;
                ASSERT_EQ(want, -1) << "two components hold one edge, round " << round;
                const auto found = ids.try_emplace(s, static_cast<std::int64_t>(ids.size())).first;
                want = found->second;
                largest = std::max<std::uint64_t>(largest, std::popcount(s));
            }
            ASSERT_EQ(got.components[e], want) << "round " << round << " edge " << e << " k " << k << " l " << l
                                               << " graph " << describe(edges, got);
            (want >= 0 ? with_components : with_none) += 1;
        }
        ASSERT_EQ(got.n_components, ids.size());
        ASSERT_EQ(got.largest_component, largest);
        ++graphs;
    }
    EXPECT_EQ(graphs, 20000);
    EXPECT_GT(with_components, 20000);
    EXPECT_GT(with_none, 2000);
    EXPECT_GT(overconstrained, 7000);
}

TEST(KLPebbleGame, PlaneCountMatchesThePebbleGameOfCompleteGraphs) {
    for (std::size_t n : {2u, 3u, 7u, 30u}) {
        const EdgeList edges = candidate_edges(n);
        const KLGameResult got = kl_pebble_game(n, edges, 2, 3);
        EXPECT_EQ(got.labels, run_pebble_game(n, edges).labels);
        // The complete graph is one rigid cluster, overconstrained from four nodes on.
        EXPECT_EQ(got.n_components, 1u);
        EXPECT_EQ(got.largest_component, n);
        EXPECT_EQ(got.overconstrained, Labels(edges.size(), n >= 4 ? 1 : 0));
    }
}

TEST(KLPebbleGame, PlaneCountMatchesThePebbleGameOnRandomSparseGraphs) {
    std::mt19937_64 rng(23);
    for (int round = 0; round < 40; ++round) {
        const std::size_t n = 50 + rng() % 400;
        const EdgeList edges = random_multigraph(rng, n, 2 * n);
        const KLGameResult got = kl_pebble_game(n, edges, 2, 3);
        ASSERT_EQ(got.labels, run_pebble_game(n, edges).labels) << "round " << round;
        // Every edge of the plane count lies in exactly one rigid cluster.
        for (std::int64_t c : got.components) ASSERT_GE(c, 0);
    }
}

TEST(KLPebbleGame, PercolationCurveEqualsTheGameOnEveryPrefix) {
    std::mt19937_64 rng(31);
    const std::pair<std::uint32_t, std::uint32_t> counts[] = {{2, 3}, {1, 1}, {2, 2}, {3, 5}, {1, 0}};
    for (int round = 0; round < 300; ++round) {
        const auto [k, l] = counts[round % 5];
        const std::size_t n = 3 + rng() % 12;
        const EdgeList edges = random_multigraph(rng, n, 3 * n);
        const PercolationResult curve = kl_percolation(n, edges, k, l);
        for (std::size_t e = 0; e < edges.size(); ++e) {
            const EdgeList prefix(edges.begin(), edges.begin() + static_cast<std::ptrdiff_t>(e + 1));
            const KLGameResult at = kl_pebble_game(n, prefix, k, l);
            ASSERT_EQ(curve.labels[e], at.labels[e]);
            ASSERT_EQ(curve.rank[e], static_cast<std::int64_t>(at.rank)) << "round " << round << " edge " << e;
            ASSERT_EQ(curve.largest_component[e], static_cast<std::int64_t>(at.largest_component))
                << "round " << round << " edge " << e;
        }
    }
}

// Graphs large enough for many rigid bodies to form, merge and hinge on one
// another: labels against the complete-graph game in the plane, overconstrained
// edges by their definition, and components against the span (an edge has a
// component exactly when a parallel copy would be spanned; for l <= k a node
// shares it when it is spanned with one end, in the plane with both ends).
TEST(KLPebbleGame, BodiesKeepEveryAnswerOnMediumGraphs) {
    std::mt19937_64 rng(41);
    const std::pair<std::uint32_t, std::uint32_t> counts[] = {{2, 3}, {2, 3}, {2, 2}, {6, 6}, {1, 1}, {2, 3}};
    for (int round = 0; round < 60; ++round) {
        const auto [k, l] = counts[round % 6];
        const std::size_t n = 12 + rng() % 30;
        const std::size_t m = (k * n) / 2 + rng() % (k * n);
        const EdgeList edges = random_multigraph(rng, n, m);
        const KLGameResult got = kl_pebble_game(n, edges, k, l);
        const auto labels_of = [&](const EdgeList& list) { return kl_pebble_game(n, list, k, l).labels; };
        if (k == 2 && l == 3) {
            ASSERT_EQ(got.labels, run_pebble_game(n, edges).labels) << "round " << round;
        }

        for (std::size_t e = 0; e < m; ++e) {
            EdgeList without = edges;
            without.erase(without.begin() + static_cast<std::ptrdiff_t>(e));
            const Labels rest = labels_of(without);
            const auto rank = static_cast<std::uint64_t>(std::count(rest.begin(), rest.end(), 1));
            ASSERT_EQ(got.overconstrained[e], rank == got.rank ? 1 : 0) << "round " << round << " edge " << e;
        }

        EdgeList basis;
        for (std::size_t e = 0; e < m; ++e)
            if (got.labels[e]) basis.push_back(edges[e]);
        std::vector<std::vector<bool>> spanned(n, std::vector<bool>(n, false));
        for (std::size_t x = 0; x < n; ++x)
            for (std::size_t y = x + 1; y < n; ++y) {
                EdgeList probe = basis;
                probe.push_back({x, y});
                spanned[x][y] = spanned[y][x] = labels_of(probe).back() == 0;
            }
        std::map<std::int64_t, std::vector<bool>> nodes_of;
        for (std::size_t e = 0; e < m; ++e) {
            if (got.components[e] < 0) continue;
            auto& nodes = nodes_of.try_emplace(got.components[e], n, false).first->second;
            nodes[edges[e].i] = nodes[edges[e].j] = true;
        }
        for (std::size_t e = 0; e < m; ++e) {
            const std::size_t u = edges[e].i, v = edges[e].j;
            ASSERT_EQ(got.components[e] >= 0, spanned[u][v]) << "round " << round << " edge " << e;
            if (got.components[e] < 0) continue;
            for (std::size_t x = 0; x < n; ++x) {
                const bool in = x == u || x == v || (spanned[u][x] && (l <= k || spanned[v][x]));
                ASSERT_EQ(nodes_of[got.components[e]][x], in) << "round " << round << " edge " << e << " node " << x;
            }
        }

        const PercolationResult curve = kl_percolation(n, edges, k, l);
        ASSERT_EQ(curve.labels, got.labels);
        for (std::size_t e = 0; e < m; e += 7) {
            const EdgeList prefix(edges.begin(), edges.begin() + static_cast<std::ptrdiff_t>(e + 1));
            ASSERT_EQ(curve.largest_component[e], static_cast<std::int64_t>(kl_pebble_game(n, prefix, k, l).largest_component))
                << "round " << round << " edge " << e;
        }
    }
}

TEST(KLPebbleGame, CountsOutsideTheMatroidRangeAreRefused) {
    EXPECT_THROW(check_sparsity_counts(0, 0), InputError);
    EXPECT_THROW(check_sparsity_counts(3, 6), InputError);
    try {
        check_sparsity_counts(3, 6);
    } catch (const InputError& e) {
        EXPECT_NE(std::string(e.what()).find("not a pebble-game count"), std::string::npos);
    }
    EXPECT_NO_THROW(check_sparsity_counts(6, 6));
    EXPECT_NO_THROW(check_sparsity_counts(1, 0));
}

// The random graph models: determinism, the properties each promises, and
// the edge-list checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "graph/edge_list.hpp"
#include "models/graph_models.hpp"
#include "pebble/kl_runs.hpp"
#include "random/sampling.hpp"

using namespace korvale;

namespace {

std::set<std::pair<std::size_t, std::size_t>> simple_pairs(const EdgeList& edges) {
    std::set<std::pair<std::size_t, std::size_t>> pairs;
    for (const Edge& e : edges) {
        EXPECT_NE(e.i, e.j);
        pairs.insert({std::min(e.i, e.j), std::max(e.i, e.j)});
    }
    EXPECT_EQ(pairs.size(), edges.size()) << "repeated pair";
    return pairs;
}

}  // namespace

TEST(Engine, SplitMixOutputsAndStreams) {
    Engine e(0);
    EXPECT_EQ(e.next(), 0xE220A8397B1DCDAFULL);  // the published first output for seed 0
    EXPECT_NE(Engine::stream(1, 0).next(), Engine::stream(0, 1).next());
    Engine bounded(5);
    for (int t = 0; t < 1000; ++t) EXPECT_LT(bounded.below(7), 7u);
    EXPECT_NEAR(portable_log(0.5), std::log(0.5), 1e-15);
    EXPECT_EQ(portable_log(1.0), 0.0);
    for (double x : {1e-300, 0.1, 0.7, 0.999999, 1.5}) EXPECT_NEAR(portable_log(x), std::log(x), 4e-16 * std::fabs(std::log(x)));
}

TEST(GraphModels, ErdosRenyiIsSimpleDeterministicAndHasTheMeanDegree) {
    Engine a(7), b(7);
    const EdgeList edges = erdos_renyi(20000, 3.6, a);
    EXPECT_EQ(edges, erdos_renyi(20000, 3.6, b));
    simple_pairs(edges);
    EXPECT_NEAR(2.0 * static_cast<double>(edges.size()) / 20000, 3.6, 0.1);
    Engine c(1);
    EXPECT_EQ(erdos_renyi(6, 5.0, c).size(), 15u);  // p = 1: complete
    EXPECT_TRUE(erdos_renyi(1, 0.0, c).empty());
    EXPECT_THROW(erdos_renyi(5, 5.0, c), InputError);
}

TEST(GraphModels, ErdosRenyiEndsWhenOneMinusPRoundsToOne) {
    // 1 - p == 1 made every skip infinite; the node ids that followed ran
    // past n until memory ran out.
    for (auto [n, c] : {std::pair<std::size_t, double>{10, 1e-20}, {10, 5e-324}, {1000000, 1e-11}}) {
        Engine e(0);
        EXPECT_TRUE(erdos_renyi(n, c, e).empty()) << n << " " << c;
    }
    // p = 2**-60 over 2**36 pairs: a few edges, all inside the graph.
    const std::size_t n = std::size_t{1} << 18;
    for (std::uint64_t seed = 0; seed < 4; ++seed) {
        Engine e(seed);
        const EdgeList edges = erdos_renyi(n, std::ldexp(static_cast<double>(n - 1), -56), e);
        EXPECT_LT(edges.size(), 64u);
        for (const Edge& x : edges) EXPECT_TRUE(x.i < x.j && x.j < n);
    }
}

TEST(GraphModels, DenseRegularDegreesComeFromTheComplement) {
    // Pairing stubs directly gets stuck ever more often as the degree nears
    // n - 1: (100, 98) ran for minutes.
    for (auto [n, k] : {std::pair<std::size_t, std::size_t>{100, 98}, {60, 57}, {61, 60}, {6, 5}, {300, 151}}) {
        Engine e(n + k);
        const EdgeList edges = random_regular(n, k, e);
        simple_pairs(edges);
        std::vector<std::size_t> degree(n, 0);
        for (const Edge& x : edges) ++degree[x.i], ++degree[x.j];
        EXPECT_TRUE(std::all_of(degree.begin(), degree.end(), [k = k](std::size_t g) { return g == k; })) << n;
    }
}

TEST(GraphModels, RandomRegularHasEveryDegreeAndNoRepeats) {
    Engine e(3);
    const EdgeList edges = random_regular(1000, 4, e);
    simple_pairs(edges);
    std::vector<int> degree(1000, 0);
    for (const Edge& x : edges) ++degree[x.i], ++degree[x.j];
    EXPECT_TRUE(std::all_of(degree.begin(), degree.end(), [](int g) { return g == 4; }));
    EXPECT_THROW(random_regular(5, 3, e), InputError);  // odd stub count
}

TEST(GraphModels, GeometricEdgesAreExactlyThePairsWithinTheRadius) {
    for (bool periodic : {false, true}) {
        for (std::size_t d : {2u, 3u}) {
            Engine e(11);
            const GraphSample g = random_geometric(400, 0.12, d, periodic, e);
            const auto pairs = simple_pairs(g.edges);
            std::size_t expected = 0;
            for (std::size_t i = 0; i < 400; ++i)
                for (std::size_t j = i + 1; j < 400; ++j) {
                    double s = 0.0;
                    for (std::size_t k = 0; k < d; ++k) {
                        double t = std::fabs(g.coords(i, k) - g.coords(j, k));
                        if (periodic && t > 0.5) t = 1.0 - t;
                        s = s + t * t;
                    }
                    if (s <= 0.12 * 0.12) {
                        ++expected;
                        EXPECT_TRUE(pairs.count({i, j}));
                    }
                }
            EXPECT_EQ(g.edges.size(), expected);
        }
    }
}

TEST(GraphModels, TriangularLatticeBonds) {
    Engine e(0);
    const GraphSample full = triangular_lattice(8, 1.0, true, e);
    EXPECT_EQ(full.edges.size(), 3u * 64);
    simple_pairs(full.edges);
    // The full periodic triangular lattice is rigid in the plane.
    const KLGameResult game = kl_pebble_game(64, full.edges, 2, 3);
    EXPECT_EQ(game.rank, game.max_rank);
    const GraphSample open = triangular_lattice(8, 1.0, false, e);
    EXPECT_EQ(open.edges.size(), 3u * 64 - 4 * 8 + 1);
    const GraphSample half = triangular_lattice(40, 0.5, true, e);
    EXPECT_NEAR(static_cast<double>(half.edges.size()) / (3 * 1600), 0.5, 0.05);
}

TEST(GraphModels, HennebergGraphsAreMinimallyRigidInThePlane) {
    for (std::uint64_t seed = 0; seed < 20; ++seed) {
        Engine e(seed);
        const GraphSample g = henneberg(60, 2, 0, e);
        simple_pairs(g.edges);
        ASSERT_EQ(g.edges.size(), 2u * 60 - 3);
        const KLGameResult game = kl_pebble_game(60, g.edges, 2, 3);
        ASSERT_EQ(game.rank, game.max_rank);
        ASSERT_EQ(game.n_components, 1u);
    }
}

TEST(EdgeList, OffendingRowsAreNamed) {
    const std::int64_t good[] = {0, 1, 2, 1};
    EXPECT_EQ(checked_edges(3, good, 2), (EdgeList{{0, 1}, {2, 1}}));
    const std::int64_t outside[] = {0, 1, 3, 12};
    try {
        checked_edges(10, outside, 2);
        FAIL();
    } catch (const InputError& e) {
        EXPECT_STREQ(e.what(), "edge 1 = (3, 12) has a node outside 0..9");
    }
    const std::int64_t negative[] = {-1, 0};
    EXPECT_THROW(checked_edges(10, negative, 1), InputError);
    const std::uint64_t loop[] = {4, 4};
    try {
        checked_edges(10, loop, 1);
        FAIL();
    } catch (const InputError& e) {
        EXPECT_STREQ(e.what(), "edge 0 = (4, 4) is a loop");
    }
}

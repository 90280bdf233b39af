// The dense modular rank against the incremental tracker, and global
// rigidity by the stress test against small graphs whose answers are known
// and against 2-connectivity on the line.
#include <gtest/gtest.h>

#include <functional>

#include "random/engine.hpp"
#include "rank/dense_modular_rank.hpp"
#include "rank/modular_rank.hpp"
#include "rigidity/generic_rank.hpp"
#include "rigidity/global_rigidity.hpp"

namespace korvale {
namespace {

using mod61::P;

// rows x cols of rank at most `rank`: a product of random factors, so that
// rank deficiencies fall in every position, some columns and rows zeroed.
std::vector<std::uint64_t> low_rank(Engine& engine, std::size_t rows, std::size_t cols, std::size_t rank) {
    std::vector<std::uint64_t> left(rows * rank), right(rank * cols), out(rows * cols, 0);
    for (auto& x : left) x = engine.below(4) == 0 ? 0 : engine.below(P);
    for (auto& x : right) x = engine.below(4) == 0 ? 0 : engine.below(P);
    for (std::size_t i = 0; i < rows; ++i)
        for (std::size_t k = 0; k < rank; ++k)
            for (std::size_t j = 0; j < cols; ++j)
                out[i * cols + j] = mod61::add(out[i * cols + j], mod61::mul(left[i * rank + k], right[k * cols + j]));
    return out;
}

TEST(DenseModularRank, EqualsTheIncrementalTracker) {
    Engine engine(28);
    for (int round = 0; round < 300; ++round) {
        const std::size_t rows = engine.below(40), cols = engine.below(40), rank = engine.below(41);
        const std::vector<std::uint64_t> a = low_rank(engine, rows, cols, rank);
        ModularRankTracker tracker(cols);
        for (std::size_t i = 0; i < rows; ++i) {
            std::vector<ModularEntry> row;
            for (std::size_t j = 0; j < cols; ++j)
                if (a[i * cols + j] != 0) row.push_back({j, a[i * cols + j]});
            tracker.add_row(row);
        }
        ASSERT_EQ(dense_modular_rank(a, rows, cols), tracker.rank()) << rows << "x" << cols << " rank <= " << rank;
    }
    // Long enough for the dot products to fold many times.
    const std::size_t n = 300;
    EXPECT_EQ(dense_modular_rank(low_rank(engine, n, n, 250), n, n), 250u);
    // Entries of P - 1 alone: the largest products, summed unreduced.
    std::vector<std::uint64_t> top(n * n, P - 1);
    for (std::size_t i = 0; i < n; ++i) top[i * n + i] = 0;  // J - I scaled by -1: full rank
    EXPECT_EQ(dense_modular_rank(top, n, n), n);
}

EdgeList complete_graph(std::size_t n) {
    EdgeList edges;
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j) edges.push_back({i, j});
    return edges;
}

TEST(GlobalRigidity, SmallGraphsWhoseAnswersAreKnown) {
    struct Case {
        const char* name;
        std::size_t n, d;
        EdgeList edges;
        bool rigid, redundant, global;
    };
    EdgeList k4_minus = complete_graph(4);
    k4_minus.pop_back();
    EdgeList k5_minus = complete_graph(5);
    k5_minus.pop_back();
    const EdgeList prism = {{0, 1}, {1, 2}, {0, 2}, {3, 4}, {4, 5}, {3, 5}, {0, 3}, {1, 4}, {2, 5}};
    const EdgeList k33 = {{0, 3}, {0, 4}, {0, 5}, {1, 3}, {1, 4}, {1, 5}, {2, 3}, {2, 4}, {2, 5}};
    const EdgeList cycle = {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 0}};
    const EdgeList path = {{0, 1}, {1, 2}, {2, 3}, {3, 4}};
    const std::vector<Case> cases = {
        {"one node", 1, 2, {}, true, true, true},
        {"one bar", 2, 3, {{0, 1}}, true, false, true},
        {"two parallel bars", 2, 1, {{0, 1}, {0, 1}}, true, true, true},
        {"triangle in space", 3, 3, complete_graph(3), true, false, true},
        {"K4 in the plane", 4, 2, complete_graph(4), true, true, true},
        {"K4 minus a bar", 4, 2, k4_minus, true, false, false},
        {"K5 minus a bar in the plane", 5, 2, k5_minus, true, true, true},
        {"prism in the plane", 6, 2, prism, true, false, false},
        {"K33 in the plane", 6, 2, k33, true, false, false},
        {"K5 in space", 5, 3, complete_graph(5), true, true, true},
        {"K5 minus a bar in space", 5, 3, k5_minus, true, false, false},
        {"cycle on a line", 5, 1, cycle, true, true, true},
        {"path on a line", 5, 1, path, true, false, false},
        {"K6 in four dimensions", 6, 4, complete_graph(6), true, true, true},
    };
    for (const Case& c : cases) {
        for (GlobalRoute route : {GlobalRoute::stress, GlobalRoute::combinatorial}) {
            if (route == GlobalRoute::combinatorial && c.d > 2) continue;
            const GlobalRigidityResult r = global_rigidity(c.n, c.edges, c.d, 7, route);
            const bool stress = route == GlobalRoute::stress;
            EXPECT_EQ(r.is_rigid, c.rigid) << c.name << stress;
            EXPECT_EQ(r.is_redundantly_rigid, c.redundant) << c.name << stress;
            EXPECT_EQ(r.is_globally_rigid, c.global) << c.name << stress;
            EXPECT_EQ(r.rank + r.stress_dimension, c.edges.size()) << c.name << stress;
            EXPECT_EQ(r.rank, generic_rank(c.n, c.edges, c.d, 7).rank) << c.name << stress;
            EXPECT_EQ(r.stress_rank.has_value(), stress) << c.name;
            if (stress && c.global && c.n >= c.d + 2) EXPECT_EQ(r.stress_rank, c.n - c.d - 1) << c.name;
            EXPECT_LT(r.error_bound, stress ? 1e-15 : 1e-300) << c.name;
        }
    }
}

// 2-connected: connected, and connected without any one node (for n >= 3).
bool two_connected(std::size_t n, const EdgeList& edges) {
    const auto connected_without = [&](std::size_t gone) {
        std::vector<std::size_t> parent(n);
        for (std::size_t x = 0; x < n; ++x) parent[x] = x;
        std::function<std::size_t(std::size_t)> root = [&](std::size_t x) {
            return parent[x] == x ? x : parent[x] = root(parent[x]);
        };
        for (const Edge& e : edges)
            if (e.i != gone && e.j != gone) parent[root(e.i)] = root(e.j);
        std::size_t parts = 0;
        for (std::size_t x = 0; x < n; ++x) parts += x != gone && root(x) == x;
        return parts <= 1;
    };
    if (!connected_without(n)) return false;
    if (n <= 2) return true;
    for (std::size_t x = 0; x < n; ++x)
        if (!connected_without(x)) return false;
    return true;
}

TEST(GlobalRigidity, OnALineIsTwoConnectivity) {
    Engine engine(1);
    for (int round = 0; round < 400; ++round) {
        const std::size_t n = 1 + engine.below(12);
        const std::size_t m = engine.below(2 * n + 2);
        EdgeList edges;
        for (std::size_t e = 0; e < m; ++e) {
            const std::size_t i = engine.below(n), j = engine.below(n);
            if (i != j) edges.push_back({i, j});
        }
        const bool want = n <= 2 ? (n == 1 || !edges.empty()) : two_connected(n, edges);
        for (GlobalRoute route : {GlobalRoute::stress, GlobalRoute::combinatorial})
            ASSERT_EQ(global_rigidity(n, edges, 1, round, route).is_globally_rigid, want) << "round " << round;
    }
}

}  // namespace
}  // namespace korvale

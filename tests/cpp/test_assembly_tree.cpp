// The assembly tree's promises, on random graphs, lattices and graphs with
// parallel edges and isolated nodes: fronts partition the positions, come
// after their children, and hold the later end of every edge assembled in
// them and every node their children pass up; nested dissection orders are
// permutations, the same on every run.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "graph/nested_dissection.hpp"
#include "models/graph_models.hpp"
#include "random/engine.hpp"
#include "rank/assembly_tree.hpp"

namespace korvale {
namespace {

void check(std::size_t n, const EdgeList& edges) {
    std::vector<std::uint64_t> start;
    std::vector<std::uint32_t> adjacency;
    node_graph(n, edges, start, adjacency);
    for (std::size_t x = 0; x < n; ++x)
        for (std::uint64_t a = start[x]; a < start[x + 1]; ++a) {
            ASSERT_NE(adjacency[a], x);
            if (a > start[x]) ASSERT_LT(adjacency[a - 1], adjacency[a]);  // distinct, ascending
        }
    const std::vector<std::uint32_t> order = nested_dissection_order(start, adjacency);
    ASSERT_EQ(order, nested_dissection_order(start, adjacency));
    std::vector<std::uint32_t> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t k = 0; k < n; ++k) ASSERT_EQ(sorted[k], k);

    const AssemblyTree tree = assembly_tree(n, edges, order);
    std::size_t next = 0;
    for (std::size_t f = 0; f < tree.fronts.size(); ++f) {
        const auto& front = tree.fronts[f];
        ASSERT_EQ(front.first, next);  // consecutive, covering every position once
        next += front.count;
        for (std::uint32_t p = front.first; p < front.first + front.count; ++p) ASSERT_EQ(tree.front_of[p], f);
        ASSERT_TRUE(std::is_sorted(front.boundary.begin(), front.boundary.end()));
        if (!front.boundary.empty()) ASSERT_GE(front.boundary.front(), front.first + front.count);
        if (front.parent == AssemblyTree::none) {
            ASSERT_TRUE(front.boundary.empty());
            continue;
        }
        ASSERT_GT(front.parent, f);
        // What the front passes up lies in its parent's nodes.
        const auto& parent = tree.fronts[front.parent];
        std::set<std::uint32_t> held(parent.boundary.begin(), parent.boundary.end());
        for (std::uint32_t p = parent.first; p < parent.first + parent.count; ++p) held.insert(p);
        for (std::uint32_t b : front.boundary) ASSERT_TRUE(held.count(b)) << "front " << f;
    }
    ASSERT_EQ(next, n);
    for (const Edge& e : edges) {
        const std::uint32_t a = std::min(tree.position[e.i], tree.position[e.j]);
        const std::uint32_t b = std::max(tree.position[e.i], tree.position[e.j]);
        const auto& front = tree.fronts[tree.front_of[a]];
        const bool own = b < front.first + front.count;
        ASSERT_TRUE(own || std::binary_search(front.boundary.begin(), front.boundary.end(), b));
    }
}

TEST(AssemblyTree, KeepsItsPromises) {
    Engine engine(1729);
    check(0, {});
    check(5, {});
    check(2, {{0, 1}, {1, 0}});
    for (int round = 0; round < 20; ++round) {
        const std::size_t n = 2 + engine.below(300);
        EdgeList edges = erdos_renyi(n, 1.0 + 8.0 * engine.uniform(), engine);
        for (std::size_t e = 0; e < edges.size(); e += 7) edges.push_back({edges[e].j, edges[e].i});
        check(n, edges);
    }
    check(4 * 27, fcc_lattice(3, 0.8, true, engine).edges);
    check(400, triangular_lattice(20, 1.0, false, engine).edges);
    check(500, random_geometric(500, 0.15, 3, false, engine).edges);
}

}  // namespace
}  // namespace korvale

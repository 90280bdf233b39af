// The front-by-front elimination against the incremental basis: labels and
// ranks bit for bit, the edges their stresses leave at zero, the clusters
// read from their motions,
// on random graphs, lattices and edge orders chosen to be hard (sorted,
// reversed, separators first, parallel edges); and motions that annihilate
// every prefix they are drawn for.
#include <gtest/gtest.h>

#include <algorithm>

#include "models/graph_models.hpp"
#include "random/engine.hpp"
#include "random/sampling.hpp"
#include "rank/modular_rank.hpp"
#include "rigidity/point_elimination.hpp"
#include "rigidity/rigid_clusters.hpp"

namespace korvale {
namespace {

using Path = PointElimination::Path;

struct Case {
    std::string name;
    std::size_t n, d;
    EdgeList edges;
};

std::vector<Case> cases() {
    std::vector<Case> out;
    Engine engine(2912);
    for (std::size_t d : {1u, 2u, 3u, 4u})
        for (double c : {2.0, 5.0, 9.0}) out.push_back({"erdos-renyi", 60, d, erdos_renyi(60, c, engine)});
    for (double r : {0.2, 0.3}) {
        GraphSample g = random_geometric(120, r, 3, false, engine);
        out.push_back({"geometric", 120, 3, g.edges});
        g = random_geometric(150, r, 2, true, engine);
        out.push_back({"geometric plane", 150, 2, g.edges});
    }
    for (double p : {0.5, 0.7, 1.0}) {
        out.push_back({"fcc", 4 * 27, 3, fcc_lattice(3, p, p < 0.6, engine).edges});
        out.push_back({"bcc", 2 * 27, 3, bcc_lattice(3, p, true, engine).edges});
        out.push_back({"triangular", 49, 2, triangular_lattice(7, p, true, engine).edges});
    }
    // Hard orders: sorted by node (fill marches along), reversed, the
    // highest-degree nodes' edges first, and parallel edges.
    const std::size_t count = out.size();
    for (std::size_t k = 0; k < count; k += 3) {
        Case sorted = out[k];
        std::sort(sorted.edges.begin(), sorted.edges.end(),
                  [](const Edge& a, const Edge& b) { return a.i != b.i ? a.i < b.i : a.j < b.j; });
        sorted.name += " sorted";
        Case reversed = sorted;
        std::reverse(reversed.edges.begin(), reversed.edges.end());
        reversed.name = out[k].name + " reversed";
        Case doubled = out[k];
        for (std::size_t e = 0; e < out[k].edges.size(); e += 4) doubled.edges.push_back(out[k].edges[e]);
        shuffle(doubled.edges, engine);
        doubled.name += " with parallel edges";
        out.push_back(sorted);
        out.push_back(reversed);
        out.push_back(doubled);
    }
    return out;
}

// Whether sum_e omega_e row_e = 0.
bool is_stress(const Case& c, const std::vector<std::uint64_t>& point, const std::vector<std::uint64_t>& omega) {
    std::vector<std::uint64_t> sum(c.n * c.d, 0);
    std::vector<ModularEntry> row;
    for (std::size_t e = 0; e < c.edges.size(); ++e) {
        modular_row(point, c.d, c.edges[e], row);
        for (const ModularEntry& t : row) sum[t.column] = mod61::add(sum[t.column], mod61::mul(omega[e], t.value));
    }
    return std::all_of(sum.begin(), sum.end(), [](std::uint64_t v) { return v == 0; });
}

TEST(PointElimination, FrontsEqualTheIncrementalBasis) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name + " d=" + std::to_string(c.d));
        InterruptPoll poll;
        Engine dense_engine(7), fronts_engine(7);
        PointElimination dense(c.n, c.edges, c.d, dense_engine, true, poll, Path::dense);
        PointElimination fronts(c.n, c.edges, c.d, fronts_engine, true, poll, Path::fronts);
        ASSERT_TRUE(fronts.uses_fronts());
        ASSERT_EQ(dense.labels(), fronts.labels());
        ASSERT_EQ(dense.rank(), fronts.rank());
        // Two uniformly random stresses: non-zero on the same edges.
        const std::vector<std::uint64_t> a = dense.stress(poll), b = fronts.stress(poll);
        EXPECT_TRUE(is_stress(c, dense.point(), a));
        EXPECT_TRUE(is_stress(c, fronts.point(), b));
        for (std::size_t e = 0; e < c.edges.size(); ++e) ASSERT_EQ(a[e] != 0, b[e] != 0) << "edge " << e;
        const std::size_t m = c.edges.size();
        for (std::size_t prefix : {m / 3, m}) {
            const std::span<const Edge> head(c.edges.data(), prefix);
            const RigidClusters a = rigid_clusters(c.n, head, c.d, dense.point(), dense.motion(prefix, poll), poll);
            const RigidClusters b = rigid_clusters(c.n, head, c.d, fronts.point(), fronts.motion(prefix, poll), poll);
            EXPECT_EQ(a.ptr, b.ptr);
            EXPECT_EQ(a.nodes, b.nodes);
            EXPECT_EQ(a.edge_cluster, b.edge_cluster);
        }
    }
}

TEST(PointElimination, MotionsAnnihilateThePrefixTheyAreDrawnFor) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        InterruptPoll poll;
        for (Path path : {Path::dense, Path::fronts}) {
            Engine engine(3);
            PointElimination elimination(c.n, c.edges, c.d, engine, false, poll, path);
            const std::size_t m = c.edges.size();
            for (std::size_t prefix : {std::size_t{0}, m / 2, m}) {
                const std::vector<std::uint64_t> x = elimination.motion(prefix, poll);
                std::size_t moving = 0;
                for (std::size_t e = 0; e < m; ++e) {
                    std::vector<ModularEntry> row;
                    modular_row(elimination.point(), c.d, c.edges[e], row);
                    std::uint64_t dot = 0;
                    for (const ModularEntry& t : row) dot = mod61::add(dot, mod61::mul(t.value, x[t.column]));
                    if (e < prefix) ASSERT_EQ(dot, 0u) << "edge " << e << " prefix " << prefix;
                    moving += dot != 0;
                }
                // Every edge after the prefix that is independent of it is
                // stretched by the motion (with probability 1 - 1/P).
                if (prefix == 0) EXPECT_EQ(moving, m);
            }
        }
    }
}

}  // namespace
}  // namespace korvale

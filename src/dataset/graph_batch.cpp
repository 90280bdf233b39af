#include "dataset/graph_batch.hpp"

#include <algorithm>
#include <cmath>

#include "core/failure.hpp"
#include "core/interrupt.hpp"
#include "graph/incidence.hpp"
#include "models/graph_models.hpp"
#include "pebble/kl_runs.hpp"
#include "rigidity/framework_labels.hpp"
#include "rigidity/global_rigidity.hpp"
#include "rigidity/point_elimination.hpp"
#include "rigidity/rigid_clusters.hpp"
#include "rigidity/max_rank.hpp"

namespace korvale {

namespace {

std::size_t integer_sqrt(std::size_t n) {
    auto r = static_cast<std::size_t>(std::sqrt(static_cast<double>(n)));
    while (r * r > n) --r;
    while ((r + 1) * (r + 1) <= n) ++r;
    return r;
}

GraphSample draw_graph(const BatchRequest& q, std::size_t n, double parameter, Engine& engine) {
    GraphSample g;
    switch (q.model) {
        case GraphModel::erdos_renyi:
            g.edges = erdos_renyi(n, parameter, engine);
            break;
        case GraphModel::regular:
            g.edges = random_regular(n, q.degree, engine);
            break;
        case GraphModel::geometric:
            return random_geometric(n, parameter, q.dim, q.periodic, engine);
        case GraphModel::lattice:
            return triangular_lattice(integer_sqrt(n), parameter, q.periodic, engine);
        case GraphModel::henneberg:
            return henneberg(n, q.dim, q.extra, engine);
    }
    // Combinatorial models: coordinates uniform in the unit square or cube.
    g.coords = Matrix(n, q.dim);
    for (double& x : g.coords.data) x = engine.uniform();
    return g;
}

void check_request(const BatchRequest& q) {
    if (q.dim != 2 && q.dim != 3) throw InputError("dim must be 2 or 3, got " + std::to_string(q.dim));
    if (q.model == GraphModel::lattice && q.dim != 2) throw InputError("the lattice model is a plane model (dim 2)");
    if (q.nodes_high < q.nodes_low) throw InputError("the node range is empty");
}

}  // namespace

BatchEstimate estimate_batch(const BatchRequest& q) {
    check_request(q);
    const std::size_t n = q.nodes_high + (q.model == GraphModel::regular ? 1 : 0);
    const double nodes = static_cast<double>(n), c = q.parameter_high;
    double edges = 0.0;
    switch (q.model) {
        case GraphModel::erdos_renyi:
            edges = 0.5 * c * nodes;
            break;
        case GraphModel::regular:
            edges = 0.5 * static_cast<double>(q.degree) * nodes;
            break;
        case GraphModel::geometric:
            edges = 0.5 * nodes * (nodes - 1.0) * geometric_pair_probability(c, q.dim, q.periodic);
            break;
        case GraphModel::lattice:
            edges = 3.0 * nodes * std::clamp(c, 0.0, 1.0);
            break;
        case GraphModel::henneberg:
            edges = static_cast<double>(q.dim) * nodes + static_cast<double>(q.extra);
            break;
    }
    edges = std::fmin(edges * 1.1 + 64.0, 0.5 * nodes * (nodes - 1.0) + 64.0);
    const auto m = static_cast<std::size_t>(std::fmin(edges, 1e18));
    BatchEstimate out;
    // Drawing: the coordinates, the edge list, and the set of pairs the
    // regular and Henneberg models keep. Labelling: in the plane the pebble
    // game, then the incidence and search of the 3-connectivity test; in
    // space the exact rank with a random stress: at most r basis rows of
    // n d entries and each accepted row's reduction factors (at most r^2 / 2
    // of 16 bytes), and the cluster search.
    const bool pair_set = q.model == GraphModel::regular || q.model == GraphModel::henneberg;
    const Bytes drawing =
        Bytes(n) * (q.dim * sizeof(double)) + Bytes(m) * (sizeof(Edge) + (pair_set ? 48 : 0));
    Bytes labelling;
    if (q.dim == 2) {
        labelling = kl_game_bytes(n, m, 2) + Bytes(m) * (2 * sizeof(Incidence::Item)) + Bytes(n) * 16;
    } else {
        const std::size_t r = std::min<std::size_t>(m, max_independent_edges(n, q.dim).value_or(Bytes::most));
        labelling = global_rigidity_bytes(n, m, q.dim, GlobalRoute::stress) + rigid_clusters_bytes(n, m) +
                    Bytes(r) * r * 8 + Bytes(r) * n * (q.dim * sizeof(std::uint64_t));
    }
    if (q.numeric) labelling += framework_label_bytes(n, q.dim, m);
    out.working = drawing + labelling;
    // Stacked: coordinates; per edge its two int32 ids, two or three flags
    // and its cluster id; per graph its offsets and figures.
    out.per_graph = Bytes(n) * (q.dim * sizeof(double)) +
                    Bytes(m) * (2 * sizeof(std::int32_t) + 3 + sizeof(std::int32_t)) + 64;
    return out;
}

GraphBatch sample_graphs(const BatchRequest& q, std::uint64_t seed, std::uint64_t first, std::uint64_t count) {
    const BatchEstimate estimate = estimate_batch(q);  // checks the request too
    // The stacked arrays grow by doubling: up to twice what they hold.
    require_memory(estimate.working + estimate.per_graph * count * 2);
    GraphBatch out;
    out.node_ptr.assign(1, 0);
    out.edge_ptr.assign(1, 0);
    InterruptPoll poll;
    for (std::uint64_t k = first; k < first + count; ++k) {
        Engine engine = Engine::stream(seed, k);
        std::size_t n = q.nodes_low + engine.below(q.nodes_high - q.nodes_low + 1);
        const double parameter = q.parameter_low + (q.parameter_high - q.parameter_low) * engine.uniform();
        if (q.model == GraphModel::regular && (n * q.degree) % 2 != 0) ++n;
        GraphSample g = draw_graph(q, n, parameter, engine);
        n = g.coords.rows;
        const std::size_t m = g.edges.size();

        out.parameter.push_back(parameter);
        out.node_ptr.push_back(out.node_ptr.back() + static_cast<std::int64_t>(n));
        out.edge_ptr.push_back(out.edge_ptr.back() + static_cast<std::int64_t>(m));
        out.coords.insert(out.coords.end(), g.coords.data.begin(), g.coords.data.end());
        for (const Edge& e : g.edges) {
            out.edges.push_back(static_cast<std::int32_t>(e.i));
            out.edges.push_back(static_cast<std::int32_t>(e.j));
        }
        if (q.dim == 2) {
            KLGameResult r = kl_pebble_game(n, g.edges, 2, 3);
            out.globally_rigid.push_back(plane_globally_rigid(n, g.edges, r));
            out.independent.insert(out.independent.end(), r.labels.begin(), r.labels.end());
            out.overconstrained.insert(out.overconstrained.end(), r.overconstrained.begin(), r.overconstrained.end());
            out.component.insert(out.component.end(), r.components.begin(), r.components.end());
            out.rank.push_back(static_cast<std::int64_t>(r.rank));
            out.max_rank.push_back(static_cast<std::int64_t>(r.max_rank));
            out.rigid.push_back(r.rank == r.max_rank);
            out.largest_component.push_back(static_cast<std::int64_t>(r.largest_component));
        } else {
            // One exact elimination: the labels, the ranks, a random stress
            // (non-zero exactly on the edges in a circuit, with the
            // probability of the bound; its stress matrix decides global
            // rigidity) and a random motion, which gives the clusters.
            // The point is global_rigidity's for the drawn seed.
            Engine point_engine = Engine::stream(engine.next(), 0);
            PointElimination elimination(n, g.edges, 3, point_engine, true, poll);
            GlobalRigidityResult r = global_rigidity_by_stress(n, g.edges, 3, elimination, poll);
            const RigidClusters clusters = rigid_clusters(n, g.edges, 3, elimination.point(), elimination.motion(m, poll), poll);
            out.component.insert(out.component.end(), clusters.edge_cluster.begin(), clusters.edge_cluster.end());
            out.largest_component.push_back(static_cast<std::int64_t>(clusters.largest));
            out.independent.insert(out.independent.end(), r.labels.begin(), r.labels.end());
            out.overconstrained.insert(out.overconstrained.end(), r.overconstrained.begin(), r.overconstrained.end());
            out.rank.push_back(static_cast<std::int64_t>(r.rank));
            out.max_rank.push_back(static_cast<std::int64_t>(*max_independent_edges(n, 3)));
            out.rigid.push_back(r.is_rigid);
            out.globally_rigid.push_back(r.is_globally_rigid);
        }
        if (q.numeric) {
            FrameworkLabels r = label_framework(g.coords, g.edges, 1e-9);
            out.numeric.insert(out.numeric.end(), r.labels.begin(), r.labels.end());
        }
        poll(64 * (n + m));
    }
    return out;
}

}  // namespace korvale

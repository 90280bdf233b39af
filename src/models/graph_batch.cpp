#include "models/graph_batch.hpp"

#include <cmath>

#include "core/failure.hpp"
#include "core/interrupt.hpp"
#include "models/graph_models.hpp"
#include "pebble/kl_pebble_game.hpp"
#include "rigidity/framework_labels.hpp"
#include "rigidity/generic_rank.hpp"

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

}  // namespace

GraphBatch sample_graphs(const BatchRequest& q, std::uint64_t seed, std::uint64_t first, std::uint64_t count) {
    if (q.dim != 2 && q.dim != 3) throw InputError("dim must be 2 or 3, got " + std::to_string(q.dim));
    if (q.model == GraphModel::lattice && q.dim != 2) throw InputError("the lattice model is a plane model (dim 2)");
    if (q.nodes_high < q.nodes_low) throw InputError("the node range is empty");
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
            out.independent.insert(out.independent.end(), r.labels.begin(), r.labels.end());
            out.overconstrained.insert(out.overconstrained.end(), r.overconstrained.begin(), r.overconstrained.end());
            out.component.insert(out.component.end(), r.components.begin(), r.components.end());
            out.rank.push_back(static_cast<std::int64_t>(r.rank));
            out.max_rank.push_back(static_cast<std::int64_t>(r.max_rank));
            out.rigid.push_back(r.rank == r.max_rank);
            out.largest_component.push_back(static_cast<std::int64_t>(r.largest_component));
        } else {
            GenericRankResult r = generic_rank(n, g.edges, 3, engine.next(), true);
            out.independent.insert(out.independent.end(), r.labels.begin(), r.labels.end());
            out.overconstrained.insert(out.overconstrained.end(), r.overconstrained.begin(), r.overconstrained.end());
            out.rank.push_back(static_cast<std::int64_t>(r.rank));
            out.max_rank.push_back(static_cast<std::int64_t>(r.max_rank));
            out.rigid.push_back(r.rank == r.max_rank);
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

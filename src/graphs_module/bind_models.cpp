// The seeded graph models. A call with seed s draws from Engine::stream(s, 0).
#include "graphs_module/boundary.hpp"
#include "dataset/graph_batch.hpp"
#include "models/graph_models.hpp"

#include <nanobind/stl/optional.h>
#include <nanobind/stl/pair.h>
#include <nanobind/stl/string.h>

#include "core/failure.hpp"
#include "core/memory.hpp"

namespace korvale::graphs {

namespace {

using Coords = nb::ndarray<nb::numpy, double>;
using Edges = nb::ndarray<nb::numpy, std::int64_t>;

template <class Model>
std::pair<Coords, Edges> with_coords(Model&& model) {
    GraphSample g;
    {
        Unlocked unlocked;
        g = model();
    }
    return {coords_array(std::move(g.coords)), edge_array(std::move(g.edges))};
}

template <class Model>
Edges edges_only(Model&& model) {
    EdgeList edges;
    {
        Unlocked unlocked;
        edges = model();
    }
    return edge_array(std::move(edges));
}

GraphModel model_named(const std::string& name) {
    if (name == "erdos-renyi") return GraphModel::erdos_renyi;
    if (name == "regular") return GraphModel::regular;
    if (name == "geometric") return GraphModel::geometric;
    if (name == "lattice") return GraphModel::lattice;
    if (name == "henneberg") return GraphModel::henneberg;
    throw InputError("unknown model " + name);
}

template <class T>
nb::ndarray<nb::numpy, T> flat(std::vector<T>&& values) {
    const std::size_t size = values.size();
    return array_of(std::move(values), {size});
}

Result batch_estimate(const BatchRequest& request) {
    const BatchEstimate e = estimate_batch(request);
    Result out;
    out["working"] = e.working.value();
    out["per_graph"] = e.per_graph.value();
    return out;
}

Result sample_batch(const BatchRequest& request, std::uint64_t seed, std::uint64_t first, std::uint64_t count) {
    const std::size_t dim = request.dim;
    GraphBatch b;
    {
        Unlocked unlocked;
        b = sample_graphs(request, seed, first, count);
    }
    const std::size_t edges = b.edges.size() / 2, nodes = b.coords.size() / dim;
    Result out;
    out["node_ptr"] = flat(std::move(b.node_ptr));
    out["edge_ptr"] = flat(std::move(b.edge_ptr));
    out["coords"] = array_of(std::move(b.coords), {nodes, dim});
    out["edges"] = array_of(std::move(b.edges), {edges, 2});
    out["independent"] = flat(std::move(b.independent));
    out["overconstrained"] = flat(std::move(b.overconstrained));
    out["component"] = flat(std::move(b.component));
    out["largest_component"] = flat(std::move(b.largest_component));
    if (request.numeric) out["numeric"] = flat(std::move(b.numeric));
    out["rigid"] = flat(std::move(b.rigid));
    out["globally_rigid"] = flat(std::move(b.globally_rigid));
    out["rank"] = flat(std::move(b.rank));
    out["max_rank"] = flat(std::move(b.max_rank));
    out["parameter"] = flat(std::move(b.parameter));
    return out;
}

}  // namespace

void bind_models(nb::module_& m) {
    // A dataset request, made from keywords only: each value meets its
    // field by name.
    nb::class_<BatchRequest>(m, "BatchRequest")
        .def(
            "__init__",
            [](BatchRequest* self, const std::string& model, std::size_t nodes_low, std::size_t nodes_high,
               double parameter_low, double parameter_high, std::size_t degree, std::size_t extra, std::size_t dim,
               bool periodic, bool numeric) {
                new (self) BatchRequest{.model = model_named(model),
                                        .nodes_low = nodes_low,
                                        .nodes_high = nodes_high,
                                        .parameter_low = parameter_low,
                                        .parameter_high = parameter_high,
                                        .degree = degree,
                                        .extra = extra,
                                        .dim = dim,
                                        .periodic = periodic,
                                        .numeric = numeric};
            },
            nb::kw_only(), nb::arg("model"), nb::arg("nodes_low"), nb::arg("nodes_high"), nb::arg("parameter_low"),
            nb::arg("parameter_high"), nb::arg("degree"), nb::arg("extra"), nb::arg("dim"), nb::arg("periodic"),
            nb::arg("numeric"));
    m.def("batch_estimate", &batch_estimate, nb::arg("request"));
    m.def("available_memory", [] { return available_memory(); });
    m.def("sample_batch", &sample_batch, nb::arg("request"), nb::arg("seed"), nb::arg("first"), nb::arg("count"));
    m.def(
        "erdos_renyi",
        [](std::size_t n, double mean_degree, std::uint64_t seed) {
            return edges_only([&] {
                Engine engine = Engine::stream(seed, 0);
                return erdos_renyi(n, mean_degree, engine);
            });
        },
        nb::arg("n"), nb::arg("mean_degree"), nb::arg("seed"));
    m.def(
        "random_regular",
        [](std::size_t n, std::size_t degree, std::uint64_t seed) {
            return edges_only([&] {
                Engine engine = Engine::stream(seed, 0);
                return random_regular(n, degree, engine);
            });
        },
        nb::arg("n"), nb::arg("degree"), nb::arg("seed"));
    m.def(
        "random_geometric",
        [](std::size_t n, double radius, std::size_t d, std::uint64_t seed, bool periodic) {
            return with_coords([&] {
                Engine engine = Engine::stream(seed, 0);
                return random_geometric(n, radius, d, periodic, engine);
            });
        },
        nb::arg("n"), nb::arg("radius"), nb::arg("d"), nb::arg("seed"), nb::arg("periodic"));
    m.def(
        "triangular_lattice",
        [](std::size_t side, double p, std::uint64_t seed, bool periodic) {
            return with_coords([&] {
                Engine engine = Engine::stream(seed, 0);
                return triangular_lattice(side, p, periodic, engine);
            });
        },
        nb::arg("L"), nb::arg("p"), nb::arg("seed"), nb::arg("periodic"));
    for (auto [name, lattice] : {std::pair{"fcc_lattice", &fcc_lattice}, std::pair{"bcc_lattice", &bcc_lattice}}) {
        m.def(
            name,
            [lattice](std::size_t side, double p, std::uint64_t seed, bool periodic) {
                return with_coords([&] {
                    Engine engine = Engine::stream(seed, 0);
                    return lattice(side, p, periodic, engine);
                });
            },
            nb::arg("L"), nb::arg("p"), nb::arg("seed"), nb::arg("periodic"));
    }
    m.def(
        "henneberg",
        [](std::size_t n, std::size_t d, std::uint64_t seed, std::size_t extra) {
            return with_coords([&] {
                Engine engine = Engine::stream(seed, 0);
                return henneberg(n, d, extra, engine);
            });
        },
        nb::arg("n"), nb::arg("d"), nb::arg("seed"), nb::arg("extra"));
}

}  // namespace korvale::graphs

// The seeded graph models. A call with seed s draws from Engine::stream(s, 0).
#include "graphs_module/boundary.hpp"
#include "models/graph_models.hpp"

#include <nanobind/stl/pair.h>

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
    return {coords_array(std::move(g.coords)), edge_array(g.edges)};
}

template <class Model>
Edges edges_only(Model&& model) {
    EdgeList edges;
    {
        Unlocked unlocked;
        edges = model();
    }
    return edge_array(edges);
}

}  // namespace

void bind_models(nb::module_& m) {
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

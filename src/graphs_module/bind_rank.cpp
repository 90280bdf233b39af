// generic_rank, generic_percolation, global_rigidity and label_edges.
#include <optional>
#include <string>
#include <vector>

#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>

#include "graphs_module/boundary.hpp"
#include "rigidity/framework_labels.hpp"
#include "rigidity/generic_rank.hpp"
#include "rigidity/global_rigidity.hpp"

namespace korvale::graphs {

namespace {

using CoordArray = nb::ndarray<const double, nb::ndim<2>, nb::c_contig, nb::device::cpu>;

using CheckpointArray = nb::ndarray<const std::uint64_t, nb::ndim<1>, nb::c_contig, nb::device::cpu>;

Result generic_rank_of(std::size_t n, const EdgeArray& edges, std::size_t d, std::uint64_t seed, bool clusters) {
    const std::size_t m = edges.shape(0);
    const EdgeList list = edges_from(n, edges, generic_rank_bytes(n, m, d, clusters));
    GenericRankResult r;
    {
        Unlocked unlocked;
        r = generic_rank(n, list, d, seed, clusters);
    }
    Result out = rank_result(std::move(r.labels), r.rank, r.max_rank);
    out["error_bound"] = r.error_bound;
    if (r.clusters) {
        RigidClusters& c = *r.clusters;
        out["overconstrained"] = array_of(std::move(r.overconstrained), {m});
        out["n_clusters"] = c.count();
        out["largest_cluster"] = c.largest;
        const std::size_t held = c.nodes.size(), count = c.count();
        out["cluster_ptr"] = array_of(std::move(c.ptr), {count + 1});
        out["cluster_nodes"] = array_of(std::move(c.nodes), {held});
        out["edge_cluster"] = array_of(std::move(c.edge_cluster), {m});
    }
    return out;
}

// checkpoints: None for every edge.
Result generic_percolation_of(std::size_t n, const EdgeArray& edges, std::size_t d, std::uint64_t seed,
                              std::optional<CheckpointArray> checkpoints) {
    const std::size_t m = edges.shape(0);
    const std::vector<std::uint64_t> at =
        checkpoints ? std::vector<std::uint64_t>(checkpoints->data(), checkpoints->data() + checkpoints->shape(0))
                    : std::vector<std::uint64_t>{};
    const EdgeList list = edges_from(n, edges, generic_percolation_bytes(n, m, d, checkpoints ? at.size() : m));
    GenericPercolation r;
    {
        Unlocked unlocked;
        r = generic_percolation(n, list, d, seed, at, !checkpoints);
    }
    Result out;
    const std::size_t points = r.largest_cluster.size();
    out["labels"] = array_of(std::move(r.labels), {m});
    out["rank"] = array_of(std::move(r.rank), {m});
    out["largest_cluster"] = array_of(std::move(r.largest_cluster), {points});
    out["error_bound"] = r.error_bound;
    return out;
}

GlobalRoute route_named(const std::string& method) {
    if (method == "auto") return GlobalRoute::automatic;
    if (method == "stress") return GlobalRoute::stress;
    if (method == "combinatorial") return GlobalRoute::combinatorial;
    throw InputError("method must be 'auto', 'stress' or 'combinatorial', got '" + method + "'");
}

Result global_rigidity_of(std::size_t n, const EdgeArray& edges, std::size_t d, std::uint64_t seed,
                          const std::string& method) {
    const GlobalRoute route = route_named(method);
    const EdgeList list = edges_from(n, edges, global_rigidity_bytes(n, edges.shape(0), d, route));
    GlobalRigidityResult r;
    {
        Unlocked unlocked;
        r = global_rigidity(n, list, d, seed, route);
    }
    Result out;
    out["is_globally_rigid"] = r.is_globally_rigid;
    out["is_rigid"] = r.is_rigid;
    out["is_redundantly_rigid"] = r.is_redundantly_rigid;
    out["stress_dimension"] = r.stress_dimension;
    out["stress_rank"] = r.stress_rank ? nb::cast(*r.stress_rank) : nb::none();
    out["error_bound"] = r.error_bound;
    return out;
}

Result label_edges_of(const CoordArray& coords, const EdgeArray& edges, double tol) {
    const std::size_t n = coords.shape(0), d = coords.shape(1);
    const Bytes coords_copy = Bytes(n) * d * sizeof(double);
    const EdgeList list = edges_from(n, edges, coords_copy + framework_label_bytes(n, d, edges.shape(0)));
    Matrix matrix(n, d);
    std::copy(coords.data(), coords.data() + matrix.data.size(), matrix.data.begin());
    FrameworkLabels r;
    {
        Unlocked unlocked;
        r = label_framework(matrix, list, tol);
    }
    return rank_result(std::move(r.labels), r.rank, r.max_rank);
}

}  // namespace

void bind_rank(nb::module_& m) {
    m.def("generic_rank", &generic_rank_of, nb::arg("n"), nb::arg("edges"), nb::arg("d"), nb::arg("seed"),
          nb::arg("clusters"));
    m.def("generic_percolation", &generic_percolation_of, nb::arg("n"), nb::arg("edges"), nb::arg("d"),
          nb::arg("seed"), nb::arg("checkpoints").none());
    m.def("global_rigidity", &global_rigidity_of, nb::arg("n"), nb::arg("edges"), nb::arg("d"), nb::arg("seed"),
          nb::arg("method"));
    m.def("label_edges", &label_edges_of, nb::arg("coords"), nb::arg("edges"), nb::arg("tol"));
}

}  // namespace korvale::graphs

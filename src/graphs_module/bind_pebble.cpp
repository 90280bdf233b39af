// pebble_game and percolation.
#include "graphs_module/boundary.hpp"
#include "pebble/kl_runs.hpp"

namespace korvale::graphs {

namespace {

Result pebble_game(std::size_t n, const EdgeArray& edges, std::uint32_t k, std::uint32_t l) {
    check_sparsity_counts(k, l);
    const EdgeList list = edges_from(n, edges, kl_game_bytes(n, edges.shape(0), k));
    KLGameResult r;
    {
        Unlocked unlocked;
        r = kl_pebble_game(n, list, k, l);
    }
    const std::size_t m = r.labels.size();
    Result out = rank_result(std::move(r.labels), r.rank, r.max_rank);
    out["components"] = array_of(std::move(r.components), {m});
    out["n_components"] = r.n_components;
    out["largest_component"] = r.largest_component;
    out["overconstrained"] = array_of(std::move(r.overconstrained), {m});
    return out;
}

Result percolation(std::size_t n, const EdgeArray& edges, std::uint32_t k, std::uint32_t l) {
    check_sparsity_counts(k, l);
    const EdgeList list = edges_from(n, edges, kl_percolation_bytes(n, edges.shape(0), k));
    PercolationResult r;
    {
        Unlocked unlocked;
        r = kl_percolation(n, list, k, l);
    }
    const std::size_t m = r.labels.size();
    Result out;
    out["labels"] = array_of(std::move(r.labels), {m});
    out["rank"] = array_of(std::move(r.rank), {m});
    out["largest_component"] = array_of(std::move(r.largest_component), {m});
    return out;
}

}  // namespace

void bind_pebble(nb::module_& m) {
    m.def("pebble_game", &pebble_game, nb::arg("n"), nb::arg("edges"), nb::arg("k"), nb::arg("l"));
    m.def("percolation", &percolation, nb::arg("n"), nb::arg("edges"), nb::arg("k"), nb::arg("l"));
}

}  // namespace korvale::graphs

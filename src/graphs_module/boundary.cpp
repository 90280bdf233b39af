#include "graphs_module/boundary.hpp"

#include <atomic>

#include "graph/edge_list.hpp"

namespace korvale::graphs {

// The main thread's identity, looked up once with the lock held.
bool Unlocked::on_main_thread() {
    static std::atomic<unsigned long> main_ident{0};
    unsigned long ident = main_ident.load(std::memory_order_relaxed);
    if (ident == 0) {
        try {
            ident = nb::cast<unsigned long>(nb::module_::import_("threading").attr("main_thread")().attr("ident"));
        } catch (const nb::python_error&) {
            return false;
        }
        main_ident.store(ident, std::memory_order_relaxed);
    }
    return ident == PyThread_get_thread_ident();
}

void Unlocked::check_signals(void*) {
    nb::gil_scoped_acquire acquire;
    if (PyErr_CheckSignals() != 0) throw nb::python_error();
}

EdgeList edges_from(std::size_t n, const EdgeArray& edges) {
    if (edges.shape(1) != 2) throw nb::value_error("edges must have shape (m, 2)");
    if (edges.dtype() == nb::dtype<std::int64_t>())
        return checked_edges(n, static_cast<const std::int64_t*>(edges.data()), edges.shape(0));
    if (edges.dtype() == nb::dtype<std::uint64_t>())
        return checked_edges(n, static_cast<const std::uint64_t*>(edges.data()), edges.shape(0));
    throw nb::type_error("edges must be int64 or uint64");
}

nb::ndarray<nb::numpy, std::int64_t> edge_array(const EdgeList& edges) {
    std::vector<std::int64_t> flat(2 * edges.size());
    for (std::size_t e = 0; e < edges.size(); ++e) {
        flat[2 * e] = static_cast<std::int64_t>(edges[e].i);
        flat[2 * e + 1] = static_cast<std::int64_t>(edges[e].j);
    }
    return array_of(std::move(flat), {edges.size(), 2});
}

nb::dict rank_result(Labels&& labels, std::uint64_t rank, std::uint64_t max_rank) {
    const std::size_t m = labels.size();
    nb::dict out;
    out["labels"] = array_of(std::move(labels), {m});
    out["rank"] = rank;
    out["max_rank"] = max_rank;
    out["is_rigid"] = rank == max_rank;
    return out;
}

nb::ndarray<nb::numpy, double> coords_array(Matrix&& coords) {
    const std::size_t rows = coords.rows, cols = coords.cols;
    return array_of(std::move(coords.data), {rows, cols});
}

}  // namespace korvale::graphs

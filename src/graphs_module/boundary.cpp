#include "graphs_module/boundary.hpp"

#include <type_traits>

#include "graph/edge_list.hpp"

namespace korvale::graphs {

EdgeList edges_from(std::size_t n, const EdgeArray& edges, Bytes beside) {
    if (edges.shape(1) != 2) throw nb::value_error("edges must have shape (m, 2)");
    const bool signed_ids = edges.dtype() == nb::dtype<std::int64_t>();
    if (!signed_ids && edges.dtype() != nb::dtype<std::uint64_t>()) throw nb::type_error("edges must be int64 or uint64");
    const std::size_t m = edges.shape(0);
    require_memory(edge_list_bytes(m) + beside);
    if (signed_ids) return checked_edges(n, static_cast<const std::int64_t*>(edges.data()), m);
    return checked_edges(n, static_cast<const std::uint64_t*>(edges.data()), m);
}

nb::ndarray<nb::numpy, std::int64_t> edge_array(EdgeList&& edges) {
    static_assert(sizeof(Edge) == 2 * sizeof(std::int64_t) && std::is_standard_layout_v<Edge>);
    const std::size_t m = edges.size();
    auto* owned = new EdgeList(std::move(edges));
    nb::capsule owner(owned, [](void* p) noexcept { delete static_cast<EdgeList*>(p); });
    // Ids are below 2**32, so reading them as signed gives the same values.
    return nb::ndarray<nb::numpy, std::int64_t>(reinterpret_cast<std::int64_t*>(owned->data()), {m, 2}, owner);
}

Result rank_result(Labels&& labels, std::uint64_t rank, std::uint64_t max_rank) {
    const std::size_t m = labels.size();
    Result out;
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

#include "rigidity/framework_labels.hpp"

#include <algorithm>
#include <string>

#include "core/failure.hpp"
#include "core/memory.hpp"
#include "rigidity/labelling.hpp"
#include "rigidity/max_rank.hpp"

namespace korvale {

FrameworkLabels label_framework(const CoordinateMatrix& coords, const EdgeList& edges, double tol) {
    const std::size_t n = coords.rows, d = coords.cols;
    if (d < 1) throw InputError("coords must have at least one column");
    const auto max_rank = max_independent_edges(n, d);
    if (!max_rank) throw InputError("n * d is too large: " + std::to_string(n) + " * " + std::to_string(d));
    require_memory(framework_label_bytes(n, d, edges.size()));

    LabelledEdges labelled = label_edges(coords, edges, *max_rank, tol);
    return {std::move(labelled.labels), labelled.rank, *max_rank};
}

Bytes framework_label_bytes(std::size_t n, std::size_t d, std::size_t m) {
    // The basis holds at most min(m, max_rank) rows of n d doubles, and
    // grows by doubling (see basis_bytes).
    const Bytes ncols = Bytes(n) * d;
    const std::size_t rows = std::min<std::uint64_t>(m, max_independent_edges(n, d).value_or(Bytes::most));
    const Bytes basis = (Bytes(rows) + 4) * ncols * (2 * sizeof(double));
    return basis + Bytes(m);
}

}  // namespace korvale

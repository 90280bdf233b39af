#include "rigidity/framework_labels.hpp"

#include <algorithm>

#include "core/failure.hpp"
#include "core/memory.hpp"
#include "simulation/labelling.hpp"
#include "simulation/max_rank.hpp"

namespace korvale {

FrameworkLabels label_framework(const CoordinateMatrix& coords, const EdgeList& edges, double tol) {
    const std::size_t n = coords.rows, d = coords.cols;
    if (d < 1) throw InputError("coords must have at least one column");
    const auto max_rank = max_independent_edges(n, d);
    if (!max_rank) internal_failure("capacity overflow");
    // The tracker's basis holds at most min(m, max_rank) rows of n d floats.
    const std::size_t ncols = checked_capacity(n, d, sizeof(double));
    const std::size_t rows = std::min<std::uint64_t>(edges.size(), *max_rank) + 4;
    require_memory(checked_capacity(rows, ncols, sizeof(double)) * sizeof(double));

    NodeList nodes(n);
    for (std::size_t i = 0; i < n; ++i) {
        nodes[i].index = i;
        nodes[i].coords.assign(coords.data.begin() + i * d, coords.data.begin() + (i + 1) * d);
    }
    LabelledEdges labelled = label_edges(nodes, edges, *max_rank, tol);
    return {std::move(labelled.labels), labelled.rank, *max_rank};
}

}  // namespace korvale

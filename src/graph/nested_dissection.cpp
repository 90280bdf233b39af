#include "graph/nested_dissection.hpp"

#include <metis.h>

#include <limits>
#include <new>
#include <string>
#include <numeric>

#include "core/failure.hpp"

namespace korvale {

std::vector<std::uint32_t> nested_dissection_order(const std::vector<std::uint64_t>& start,
                                                   const std::vector<std::uint32_t>& adjacency) {
    const std::size_t n = start.size() - 1;
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    constexpr auto most = static_cast<std::size_t>(std::numeric_limits<idx_t>::max());
    if (n < 3 || adjacency.empty() || n > most || adjacency.size() > most) return order;

    std::vector<idx_t> xadj(start.begin(), start.end()), adjncy(adjacency.begin(), adjacency.end());
    std::vector<idx_t> perm(n), iperm(n);
    idx_t options[METIS_NOPTIONS];
    METIS_SetDefaultOptions(options);
    options[METIS_OPTION_NUMBERING] = 0;
    options[METIS_OPTION_SEED] = 1;
    auto nodes = static_cast<idx_t>(n);
    const int status = METIS_NodeND(&nodes, xadj.data(), adjncy.data(), nullptr, options, perm.data(), iperm.data());
    if (status == METIS_ERROR_MEMORY) throw std::bad_alloc();
    if (status != METIS_OK) throw InternalFailure("nested dissection failed with status " + std::to_string(status));
    // perm[k] is the node numbered k in the new order.
    for (std::size_t k = 0; k < n; ++k) order[k] = static_cast<std::uint32_t>(perm[k]);
    return order;
}

}  // namespace korvale

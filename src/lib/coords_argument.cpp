#include "lib/coords_argument.hpp"

#include <string>

#include "core/memory.hpp"
#include "lib/errors.hpp"
#include "rigidity/labelling.hpp"

namespace korvale::py {

CoordinateMatrix coords_argument(const MatrixView& coords, std::uint64_t d) {
    const std::size_t rows = coords.rows();
    if (coords.cols() != d)
        throw InputError("coords has " + std::to_string(coords.cols()) + " columns but d=" + std::to_string(d) +
                           " was specified");
    if (d != 2 && d != 3) throw InputError("d must be 2 or 3");
    if (rows <= d)
        throw InputError("Need at least " + std::to_string(d + 1) + " nodes for d=" + std::to_string(d) +
                           ", got " + std::to_string(rows));

    // Refuse what cannot fit before copying anything: the distances, one
    // labelling pass, and the result's list of the accepted edges.
    require_memory(checked_sum({checked_capacity(rows, rows, sizeof(double)) * sizeof(double),
                                labelling_bytes(rows, d),
                                checked_capacity(rows, d, result_edge_bytes) * result_edge_bytes}));

    CoordinateMatrix copy(rows, d);
    for (std::size_t i = 0; i < rows; ++i)
        for (std::size_t c = 0; c < d; ++c) copy(i, c) = coords.at(i, c);
    return copy;
}

}  // namespace korvale::py

#include "lib/nodes_from_coords.hpp"

#include <string>

#include "core/memory.hpp"
#include "lib/errors.hpp"
#include "rigidity/labelling.hpp"

namespace korvale::py {

NodeList nodes_from_coords(const MatrixView& coords, std::uint64_t d) {
    const std::size_t rows = coords.rows();
    if (coords.cols() != d)
        throw ValueFailure("coords has " + std::to_string(coords.cols()) + " columns but d=" + std::to_string(d) +
                           " was specified");
    if (d != 2 && d != 3) throw ValueFailure("d must be 2 or 3");
    if (rows <= d)
        throw ValueFailure("Need at least " + std::to_string(d + 1) + " nodes for d=" + std::to_string(d) +
                           ", got " + std::to_string(rows));

    // Refuse what cannot fit before copying anything: the distances, one
    // labelling pass, and the result's list of the accepted edges.
    require_memory(checked_sum({checked_capacity(rows, rows, sizeof(double)) * sizeof(double),
                                labelling_bytes(rows, d),
                                checked_capacity(rows, d, result_edge_bytes) * result_edge_bytes}));

    NodeList nodes(checked_capacity(rows, sizeof(Node)));
    for (std::size_t i = 0; i < rows; ++i) {
        nodes[i].index = i;
        nodes[i].coords.resize(d);
        for (std::size_t c = 0; c < d; ++c) nodes[i].coords[c] = coords.at(i, c);
    }
    return nodes;
}

}  // namespace korvale::py

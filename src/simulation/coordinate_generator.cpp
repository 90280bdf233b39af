#include "simulation/coordinate_generator.hpp"

namespace korvale {

NodeList CoordinateGenerator::generate_nodes(std::size_t n_nodes, std::size_t d) {
    checked_capacity(n_nodes, d, sizeof(double));
    NodeList nodes(checked_capacity(n_nodes, sizeof(Node)));
    for (std::size_t i = 0; i < n_nodes; ++i) {
        nodes[i].index = i;
        nodes[i].coords.resize(d);
        for (std::size_t c = 0; c < d; ++c) nodes[i].coords[c] = next_coordinate();
    }
    return nodes;
}

}  // namespace korvale

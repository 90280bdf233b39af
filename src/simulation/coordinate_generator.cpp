#include "simulation/coordinate_generator.hpp"

namespace korvale {

CoordinateMatrix CoordinateGenerator::generate_coordinates(std::size_t n_nodes, std::size_t d) {
    CoordinateMatrix coords(n_nodes, d);
    for (double& x : coords.data) x = next_coordinate();
    return coords;
}

}  // namespace korvale

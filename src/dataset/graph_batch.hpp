// Batches of labelled random graphs for training sets, stacked: graph k of a
// dataset seeded with s draws everything (its size, its parameter, the
// graph, coordinates where the model has none, the seed of its exact rank)
// from Engine::stream(s, k), so it depends on (s, k) alone, whatever batch
// or worker computes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/memory.hpp"
#include "core/records.hpp"

namespace korvale {

enum class GraphModel { erdos_renyi, regular, geometric, lattice, henneberg };

struct BatchRequest {
    GraphModel model = GraphModel::erdos_renyi;
    std::size_t nodes_low = 0, nodes_high = 0;  // n uniform in [low, high]
    // Mean degree, radius or bond probability, uniform in [low, high).
    double parameter_low = 0.0, parameter_high = 0.0;
    std::size_t degree = 3;  // regular (n is raised by one when n * degree is odd)
    std::size_t extra = 0;   // henneberg
    std::size_t dim = 2;     // 2: pebble-game labels; 3: exact generic rank; clusters in both
    bool periodic = false;   // geometric, lattice
    bool numeric = false;    // also the numeric labels of the drawn coordinates
};

// Stacked graphs: graph g has nodes node_ptr[g] .. node_ptr[g+1]-1 and edges
// edge_ptr[g] .. edge_ptr[g+1]-1, edge node ids local to the graph.
struct GraphBatch {
    std::vector<std::int64_t> node_ptr, edge_ptr;
    std::vector<double> coords;        // nodes x dim
    std::vector<std::int32_t> edges;   // edges x 2
    Labels independent, overconstrained, numeric;
    std::vector<std::int32_t> component;  // rigid cluster id within the graph (the lowest holding the edge)
    std::vector<std::uint8_t> rigid, globally_rigid;
    std::vector<std::int64_t> rank, max_rank, largest_component;
    std::vector<double> parameter;     // the parameter drawn for each graph
};

// For a lattice the drawn n gives the side floor(sqrt(n)). Throws InputError
// for a request a model refuses (in the plane only: lattice), and
// MemoryShortage up front when the graphs cannot fit (see estimate_batch).
GraphBatch sample_graphs(const BatchRequest& request, std::uint64_t seed, std::uint64_t first, std::uint64_t count);

// What a batch holds, for the largest graph a request can draw (nodes_high
// nodes, parameter_high) with the edges it is expected to have (with room
// for chance): `working`, the memory of drawing and labelling one graph;
// `per_graph`, the bytes of its stacked arrays. A batch of count graphs
// needs at most working + 2 count per_graph (the arrays grow by doubling).
struct BatchEstimate {
    Bytes working;
    Bytes per_graph;
};
BatchEstimate estimate_batch(const BatchRequest& request);

}  // namespace korvale

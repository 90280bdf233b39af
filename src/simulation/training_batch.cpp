#include "simulation/training_batch.hpp"

#include <new>

#include "core/memory.hpp"
#include "graph/candidate_edges.hpp"
#include "simulation/coordinate_generator.hpp"
#include "simulation/distances.hpp"
#include "rigidity/labelling.hpp"
#include "rigidity/max_rank.hpp"

namespace korvale {

namespace {

constexpr double batch_tol = 1e-9;

}  // namespace

std::size_t batch_bytes(std::uint64_t n_graphs, std::uint64_t n_nodes, std::uint64_t max_rank) {
    const std::size_t per_graph = checked_sum({
        sizeof(SimulationResult),
        checked_capacity(n_nodes, n_nodes, sizeof(double)) * sizeof(double),  // distances
        edge_count(n_nodes),                                                   // labels
        // accepted edges, and the caller's result list of them
        checked_capacity(max_rank, sizeof(Edge) + result_edge_bytes) * (sizeof(Edge) + result_edge_bytes),
    });
    return checked_capacity(n_graphs, per_graph, 1);
}

std::vector<SimulationResult> generate_batch(std::uint64_t n_graphs, std::uint64_t n_nodes, std::uint64_t d,
                                             std::uint64_t seed) {
    std::vector<SimulationResult> batch;
    if (n_graphs == 0) return batch;
    if (n_nodes == 0) internal_failure("Node list must not be empty");
    if (d != 2 && d != 3) internal_failure("Only d=2 and d=3 are supported");

    const auto max_rank = max_independent_edges(n_nodes, d);
    if (!max_rank) internal_failure("capacity overflow");
    // Refuse up front what cannot fit, rather than be killed part-way
    // through filling memory.
    require_memory(checked_sum({batch_bytes(n_graphs, n_nodes, *max_rank), labelling_bytes(n_nodes, d)}));

    batch.reserve(n_graphs);
    InterruptPoll poll;
    for (std::uint64_t k = 0; k < n_graphs; ++k) {
        CoordinateGenerator generator(seed + k);  // wraps modulo 2^64
        const CoordinateMatrix coords = generator.generate_coordinates(n_nodes, d);
        LabelledEdges labelled = label_all_pairs(coords, *max_rank, batch_tol, poll);
        SimulationResult& record = batch.emplace_back();
        record.labels = std::move(labelled.labels);
        record.accepted_edges = std::move(labelled.accepted);
        record.distance_matrix = pairwise_distances(coords);
        record.n_nodes = n_nodes;
        record.d = d;
        record.final_rank = labelled.rank;
        record.max_rank = *max_rank;
        record.is_rigid = labelled.rank == *max_rank;
        poll(n_nodes * n_nodes);
    }
    return batch;
}

}  // namespace korvale

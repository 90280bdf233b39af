#pragma once

#include <cstdint>
#include <vector>

#include "core/records.hpp"

namespace korvale {

// One labelled random framework. The candidate edges are the same for every
// graph of a batch and are not kept per record.
struct SimulationResult {
    Labels labels;
    EdgeList accepted_edges;
    DistanceMatrix distance_matrix;
    std::uint64_t n_nodes = 0;
    std::uint64_t d = 0;
    std::uint64_t final_rank = 0;
    std::uint64_t max_rank = 0;
    bool is_rigid = false;
};

// Graph k draws its nodes from a generator seeded with seed + k (mod 2^64)
// and is labelled by one full pass with tolerance 1e-9 and the early stop.
// Fails with an internal failure for no nodes, then for d other than 2 or 3,
// when the first graph starts; with "capacity overflow" when the records
// cannot be addressed; with std::bad_alloc when they cannot fit in memory.
std::vector<SimulationResult> generate_batch(std::uint64_t n_graphs, std::uint64_t n_nodes, std::uint64_t d,
                                             std::uint64_t seed);

// Bytes the records of a batch hold until they are converted.
std::size_t batch_bytes(std::uint64_t n_graphs, std::uint64_t n_nodes, std::uint64_t max_rank);

}  // namespace korvale

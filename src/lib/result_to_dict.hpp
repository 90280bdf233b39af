#pragma once

#include <cstdint>

#include "core/records.hpp"
#include "boundary/ref.hpp"

namespace korvale::py {

// The key strings of the result dictionary, made once for all the
// dictionaries of one call (a batch builds a thousand of them under the
// interpreter lock).
struct ResultKeys {
    Ref labels, accepted_edges, distance_matrix, final_rank, max_rank, is_rigid, n_nodes, d;
    ResultKeys();
};

// The eight-key dictionary of one labelled framework, shared by simulate and
// every graph of a training batch. The labels and the distance matrix become
// NumPy array data without copying; "is_rigid" is final_rank == max_rank.
Ref result_to_dict(const ResultKeys& keys, std::uint64_t n_nodes, std::uint64_t d, const EdgeList& accepted_edges,
                   Labels&& labels, DistanceMatrix&& distance_matrix, std::uint64_t final_rank,
                   std::uint64_t max_rank);

}  // namespace korvale::py

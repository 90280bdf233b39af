#include "lib/result_to_dict.hpp"

#include "lib/results.hpp"

namespace korvale::py {

Ref result_to_dict(std::uint64_t n_nodes, std::uint64_t d, const EdgeList& accepted_edges, Labels&& labels,
                   DistanceMatrix&& distance_matrix, std::uint64_t final_rank, std::uint64_t max_rank) {
    Ref dict = new_dict();
    dict_set(dict.get(), "labels", array_from_labels(std::move(labels)));
    dict_set(dict.get(), "accepted_edges", edge_list(accepted_edges));
    dict_set(dict.get(), "distance_matrix", array_from_matrix(std::move(distance_matrix)));
    dict_set(dict.get(), "final_rank", int_from_u64(final_rank));
    dict_set(dict.get(), "max_rank", int_from_u64(max_rank));
    dict_set(dict.get(), "is_rigid", bool_from(final_rank == max_rank));
    dict_set(dict.get(), "n_nodes", int_from_u64(n_nodes));
    dict_set(dict.get(), "d", int_from_u64(d));
    return dict;
}

}  // namespace korvale::py

#include "lib/result_to_dict.hpp"

#include "lib/results.hpp"

namespace korvale::py {

ResultKeys::ResultKeys()
    : labels(text("labels")), accepted_edges(text("accepted_edges")), distance_matrix(text("distance_matrix")),
      final_rank(text("final_rank")), max_rank(text("max_rank")), is_rigid(text("is_rigid")),
      n_nodes(text("n_nodes")), d(text("d")) {}

Ref result_to_dict(const ResultKeys& keys, std::uint64_t n_nodes, std::uint64_t d, const EdgeList& accepted_edges,
                   Labels&& labels, DistanceMatrix&& distance_matrix, std::uint64_t final_rank,
                   std::uint64_t max_rank) {
    Ref dict = new_dict();
    dict_set(dict.get(), keys.labels.get(), array_from_labels(std::move(labels)));
    dict_set(dict.get(), keys.accepted_edges.get(), edge_list(accepted_edges));
    dict_set(dict.get(), keys.distance_matrix.get(), array_from_matrix(std::move(distance_matrix)));
    dict_set(dict.get(), keys.final_rank.get(), int_from_u64(final_rank));
    dict_set(dict.get(), keys.max_rank.get(), int_from_u64(max_rank));
    dict_set(dict.get(), keys.is_rigid.get(), bool_from(final_rank == max_rank));
    dict_set(dict.get(), keys.n_nodes.get(), int_from_u64(n_nodes));
    dict_set(dict.get(), keys.d.get(), int_from_u64(d));
    return dict;
}

}  // namespace korvale::py

#include <vector>

#include "lib/arguments.hpp"
#include "lib/entries.hpp"
#include "lib/errors.hpp"
#include "lib/result_to_dict.hpp"
#include "lib/results.hpp"
#include "simulation/training_batch.hpp"

namespace korvale::py {

namespace {
const ParameterList params{"generate_training_batch", {"n_graphs", "n_nodes", "d", "seed"}, 4, 4};
}

// The lock is released once around all graphs; the dictionaries are built
// afterwards, each record freed as soon as it has been converted.
PyObject* generate_training_batch_entry(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&] {
        const Slots slots = bind_arguments(params, args, kwargs);
        const std::uint64_t n_graphs = read_u64(slots[0], "n_graphs");
        const std::uint64_t n_nodes = read_u64(slots[1], "n_nodes");
        const std::uint64_t d = read_u64(slots[2], "d");
        const std::uint64_t seed = read_u64(slots[3], "seed");

        std::vector<SimulationResult> batch;
        {
            ReleasedLock unlocked;
            batch = generate_batch(n_graphs, n_nodes, d, seed);
        }
        Ref list = new_list();
        const ResultKeys keys;
        for (SimulationResult& record : batch) {
            Ref dict = result_to_dict(keys, record.n_nodes, record.d, record.accepted_edges, std::move(record.labels),
                                      std::move(record.distance_matrix), record.final_rank, record.max_rank);
            record = SimulationResult{};
            list_append(list.get(), dict.get());
        }
        return list.release();
    });
}

}  // namespace korvale::py

#include "lib/arguments.hpp"
#include "lib/entries.hpp"
#include "lib/errors.hpp"

namespace korvale::py {

namespace {
const ParameterList params{"generate_training_batch", {"n_graphs", "n_nodes", "d", "seed"}, 4, 4};
}

PyObject* generate_training_batch_entry(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        const Slots slots = bind_arguments(params, args, kwargs);
        read_u64(slots[0], "n_graphs");
        read_u64(slots[1], "n_nodes");
        read_u64(slots[2], "d");
        read_u64(slots[3], "seed");
        throw PyError::make(PyExc_NotImplementedError, "generate_training_batch is not built yet");
    });
}

}  // namespace korvale::py

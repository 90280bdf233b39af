#include "lib/arguments.hpp"
#include "lib/entries.hpp"
#include "lib/errors.hpp"

namespace korvale::py {

namespace {
const ParameterList params{"simulate", {"coords", "d", "tol"}, 3, 2};
}

PyObject* simulate_entry(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        const Slots slots = bind_arguments(params, args, kwargs);
        const MatrixView coords = read_f64_array2(slots[0], "coords");
        read_u64(slots[1], "d");
        read_optional_f64(slots[2], "tol", 1e-9);
        throw PyError::make(PyExc_NotImplementedError, "simulate is not built yet");
    });
}

}  // namespace korvale::py

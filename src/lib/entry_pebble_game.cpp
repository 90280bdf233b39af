#include "lib/arguments.hpp"
#include "lib/entries.hpp"
#include "lib/errors.hpp"

namespace korvale::py {

namespace {
const ParameterList params{"pebble_game", {"coords", "d"}, 2, 2};
}

PyObject* pebble_game_entry(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        const Slots slots = bind_arguments(params, args, kwargs);
        const MatrixView coords = read_f64_array2(slots[0], "coords");
        read_u64(slots[1], "d");
        throw PyError::make(PyExc_NotImplementedError, "pebble_game is not built yet");
    });
}

}  // namespace korvale::py

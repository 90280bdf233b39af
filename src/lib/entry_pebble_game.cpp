#include "core/memory.hpp"
#include "lib/arguments.hpp"
#include "lib/entries.hpp"
#include "lib/errors.hpp"
#include "lib/results.hpp"
#include "pebble/pebble_game.hpp"

namespace korvale::py {

namespace {
const ParameterList params{"pebble_game", {"coords", "d"}, 2, 2};
}

// Only the row count of coords is used: the game is combinatorial.
PyObject* pebble_game_entry(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&] {
        const Slots slots = bind_arguments(params, args, kwargs);
        const ArrayArgument coords = read_f64_array2(slots[0], "coords");
        const std::uint64_t d = read_u64(slots[1], "d");
        const std::size_t n = coords.view().rows();
        if (d != 2) throw InputError("pebble_game only supports d=2");

        require_memory(pebble_bytes(n));
        PebbleResult result;
        {
            ReleasedLock unlocked;
            result = run_pebble_game_all_pairs(n);
        }
        Ref dict = new_dict();
        dict_set(dict.get(), "labels", array_from_labels(std::move(result.labels)));
        dict_set(dict.get(), "accepted_edges", edge_list(result.accepted_edges));
        dict_set(dict.get(), "n_nodes", int_from_u64(n));
        dict_set(dict.get(), "d", int_from_u64(2));
        return dict.release();
    });
}

}  // namespace korvale::py

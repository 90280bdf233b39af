#include "lib/arguments.hpp"
#include "lib/entries.hpp"
#include "lib/errors.hpp"
#include "lib/results.hpp"
#include "rigidity/max_rank.hpp"

namespace korvale::py {

namespace {
const ParameterList params{"max_independent", {"n", "d"}, 2, 2};
}

PyObject* max_independent_entry(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&] {
        const Slots slots = bind_arguments(params, args, kwargs);
        const std::uint64_t n = read_u64(slots[0], "n");
        const std::uint64_t d = read_u64(slots[1], "d");
        const auto value = max_independent_edges(n, d);
        if (!value)
            throw PyError::make(PyExc_OverflowError,
                                "max_independent(" + std::to_string(n) + ", " + std::to_string(d) +
                                    ") does not fit in an unsigned 64-bit integer");
        return int_from_u64(*value).release();
    });
}

}  // namespace korvale::py

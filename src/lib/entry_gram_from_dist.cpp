#include "core/memory.hpp"
#include "lib/arguments.hpp"
#include "lib/entries.hpp"
#include "lib/errors.hpp"
#include "lib/results.hpp"
#include "reconstruct/double_center.hpp"

namespace korvale::py {

namespace {
const ParameterList params{"gram_from_dist", {"dist"}, 1, 1};
}

// Holds the interpreter lock throughout: the work is one O(n^2) pass.
PyObject* gram_from_dist_entry(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&] {
        const Slots slots = bind_arguments(params, args, kwargs);
        const ArrayArgument argument = read_f64_array2(slots[0], "dist");
        const MatrixView dist = argument.view();
        if (dist.rows() != dist.cols()) throw InputError("Distance matrix must be square");
        require_memory(square_bytes(dist.rows(), 3));  // the copy, the squares, the result
        return array_from_matrix(double_center(dist.copy())).release();
    });
}

}  // namespace korvale::py

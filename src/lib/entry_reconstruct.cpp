#include "core/memory.hpp"
#include "lib/arguments.hpp"
#include "lib/entries.hpp"
#include "lib/errors.hpp"
#include "lib/results.hpp"
#include "reconstruct/classical_mds.hpp"
#include "reconstruct/double_center.hpp"

namespace korvale::py {

namespace {
const ParameterList params{"reconstruct", {"distance_matrix", "d", "tol"}, 3, 2};
}

// The input is copied with the lock held; everything from the dimension
// checks to the stress runs with it released.
PyObject* reconstruct_entry(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&] {
        const Slots slots = bind_arguments(params, args, kwargs);
        const ArrayArgument argument = read_f64_array2(slots[0], "distance_matrix");
        const std::uint64_t d = read_u64(slots[1], "d");
        const double tol = read_optional_f64(slots[2], "tol", 1e-6);
        const MatrixView view = argument.view();
        if (view.rows() != view.cols()) throw InputError("distance_matrix must be square");
        // The copy, the squares, the Gram matrix, its working copy, the
        // rotations and the sorted vectors. Inputs that the dimension checks
        // will refuse are left to them.
        if ((d == 2 || d == 3) && view.rows() > d) require_memory(square_bytes(view.rows(), 6));
        const DistanceMatrix dist = view.copy();

        ReconstructionResult result;
        {
            ReleasedLock unlocked;
            result = classical_mds(dist, d, tol);
        }
        Ref dict = new_dict();
        dict_set(dict.get(), "coords", array_from_matrix(std::move(result.coords)));
        dict_set(dict.get(), "stress", float_from_f64(result.stress));
        dict_set(dict.get(), "eigenvalues", array_from_floats(std::move(result.eigenvalues)));
        dict_set(dict.get(), "is_isometric", bool_from(result.is_isometric));
        return dict.release();
    });
}

}  // namespace korvale::py

#include "lib/arguments.hpp"
#include "lib/entries.hpp"
#include "lib/errors.hpp"
#include "lib/coords_argument.hpp"
#include "lib/result_to_dict.hpp"
#include "simulation/distances.hpp"
#include "rigidity/labelling.hpp"
#include "rigidity/max_rank.hpp"

namespace korvale::py {

namespace {
const ParameterList params{"simulate", {"coords", "d", "tol"}, 3, 2};
}

// Validation, the coordinates' copy and the distances are made with the lock held;
// the labelling pass runs with it released.
PyObject* simulate_entry(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&] {
        const Slots slots = bind_arguments(params, args, kwargs);
        const ArrayArgument coords = read_f64_array2(slots[0], "coords");
        const std::uint64_t d = read_u64(slots[1], "d");
        const double tol = read_optional_f64(slots[2], "tol", 1e-9);

        const CoordinateMatrix copy = coords_argument(coords.view(), d);
        const std::size_t n = copy.rows;
        DistanceMatrix distances = pairwise_distances(copy);
        // n >= d+1 here, so this is n*d - d(d+1)/2 and never exceeds the edge count.
        const std::uint64_t max_rank = *max_independent_edges(n, d);
        LabelledEdges result;
        {
            ReleasedLock unlocked;
            result = label_all_pairs(copy, max_rank, tol);
        }
        return result_to_dict(ResultKeys(), n, d, result.accepted, std::move(result.labels), std::move(distances),
                              result.rank, max_rank)
            .release();
    });
}

}  // namespace korvale::py

// The boundary of _korvale_graphs (bound with nanobind): the one place this
// module touches Python objects. Inputs arrive checked and normalised by the
// korvale_graphs package; here they are copied into domain types with the
// lock held (another thread may write the caller's array as soon as the
// lock is released), the lock is released around one domain call, and
// results are handed to NumPy without copying.
#pragma once

#include <cstdint>
#include <vector>

#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>

#include "boundary/released_lock.hpp"
#include "core/memory.hpp"
#include "core/records.hpp"

namespace korvale::graphs {

namespace nb = nanobind;

// An (m, 2) array of int64 or uint64 node ids, C-contiguous; read-only
// arrays (memory-mapped files, frombuffer) are welcome: it is only read.
using EdgeArray = nb::ndarray<nb::ro, nb::ndim<2>, nb::c_contig, nb::device::cpu>;

// The checked copy of the edges of n nodes (ValueError names the first bad
// row). `beside` is what the call will hold besides the copy: both are
// checked against the memory available before anything is copied. Call it
// with the lock held.
EdgeList edges_from(std::size_t n, const EdgeArray& edges, Bytes beside);

// Releases the interpreter lock around one domain call, answering Ctrl-C on
// the main thread (see boundary/released_lock.hpp).
using Unlocked = py::ReleasedLock;

// What every function returns besides arrays and models: a dict of named
// results (dict[str, Any] in the generated stub).
using Result = nb::typed<nb::dict, nb::str, nb::any>;

// Result arrays owning their buffer.
template <class T>
nb::ndarray<nb::numpy, T> array_of(std::vector<T>&& values, std::initializer_list<std::size_t> shape) {
    auto* owned = new std::vector<T>(std::move(values));
    nb::capsule owner(owned, [](void* p) noexcept { delete static_cast<std::vector<T>*>(p); });
    return nb::ndarray<nb::numpy, T>(owned->data(), shape, owner);
}
// An (m, 2) int64 array over the edge list's own buffer: an Edge is two
// ids of 64 bits, so the list is handed over as it is.
nb::ndarray<nb::numpy, std::int64_t> edge_array(EdgeList&& edges);

// The keys every labelling result shares: "labels", "rank", "max_rank",
// "is_rigid".
Result rank_result(Labels&& labels, std::uint64_t rank, std::uint64_t max_rank);
nb::ndarray<nb::numpy, double> coords_array(Matrix&& coords);

void bind_pebble(nb::module_& m);
void bind_models(nb::module_& m);
void bind_rank(nb::module_& m);

}  // namespace korvale::graphs

#include "lib/results.hpp"

#include <cstring>
#include <memory>

#include "lib/errors.hpp"
#include "lib/numpy_api.hpp"

namespace korvale::py {

namespace {

using numpy::npy_intp;

// The instance layout of PySliceContainer. The buffer belongs to a moved-in
// std::vector, so handing it over never copies the data.
struct SliceContainer {
    PyObject ob_base;
    void* address;
    Py_ssize_t length;
    Py_ssize_t capacity;
    void (*release)(void* owner);
    void* owner;
};

PyObject* container_type = nullptr;  // created on first use, never freed

PyObject* container_new(PyTypeObject* type, PyObject*, PyObject*) {
    Ref name = Ref::steal(PyType_GetName(type));
    if (!name) {
        PyErr_Clear();
        PyErr_SetString(PyExc_TypeError, "No constructor defined for <unknown>");
    } else {
        PyErr_Format(PyExc_TypeError, "No constructor defined for %U", name.get());
    }
    return nullptr;
}

void container_dealloc(PyObject* self) {
    auto* c = reinterpret_cast<SliceContainer*>(self);
    // The owner is the moved-in vector; deleting it frees the buffer when one
    // was allocated (capacity not 0).
    if (c->release != nullptr) c->release(c->owner);
    c->release = nullptr;
    PyTypeObject* type = Py_TYPE(self);
    auto tp_free = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    tp_free(self);
    Py_DECREF(type);
}

PyType_Slot container_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(container_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(container_dealloc)},
    {0, nullptr},
};

PyType_Spec container_spec = {
    "builtins.PySliceContainer",
    static_cast<int>(sizeof(SliceContainer)),
    0,
    Py_TPFLAGS_DEFAULT,
    container_slots,
};

[[noreturn]] void container_failure() {
    PyError error = PyError::take();
    internal_failure("Failed to create slice container: " + describe_exception(error.exception()));
}

template <class T>
Ref new_container(std::vector<T>&& buffer) {
    if (container_type == nullptr) {
        container_type = PyType_FromSpec(&container_spec);
        if (container_type == nullptr) container_failure();
    }
    auto* type = reinterpret_cast<PyTypeObject*>(container_type);
    auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    PyObject* obj = (alloc != nullptr ? alloc : PyType_GenericAlloc)(type, 0);
    if (obj == nullptr) container_failure();  // the buffer is freed with the vector
    auto* c = reinterpret_cast<SliceContainer*>(obj);
    auto owned = std::make_unique<std::vector<T>>(std::move(buffer));
    c->address = owned->data();
    c->length = static_cast<Py_ssize_t>(owned->size());
    c->capacity = static_cast<Py_ssize_t>(owned->capacity());
    c->release = [](void* owner) { delete static_cast<std::vector<T>*>(owner); };
    c->owner = owned.release();
    return Ref::steal(obj);
}

// An address for the data of an empty array: NumPy allocates memory of its
// own when given NULL, and the array would then not be the container's.
alignas(8) unsigned char empty_data[8];

template <class T>
Ref hand_over(std::vector<T>&& buffer, int type_num, int nd, const npy_intp* dims) {
    Ref container = new_container(std::move(buffer));
    auto* c = reinterpret_cast<SliceContainer*>(container.get());
    const numpy::Api& np = numpy::api();
    PyObject* descr = created(np.descr_from_type(type_num));
    npy_intp strides[2];
    strides[nd - 1] = static_cast<npy_intp>(sizeof(T));
    if (nd == 2) strides[0] = dims[1] * static_cast<npy_intp>(sizeof(T));
    void* data = c->length > 0 ? c->address : empty_data;
    Ref array = Ref::steal(created(np.new_from_descr(np.array_type, descr, nd, dims, strides, data,
                                                     numpy::NPY_ARRAY_WRITEABLE, nullptr)));
    if (np.set_base_object(array.get(), container.release()) != 0) throw PyError::take();
    return array;
}

}  // namespace

Ref array_from_labels(Labels&& labels) {
    const npy_intp dims[1] = {static_cast<npy_intp>(labels.size())};
    return hand_over(std::move(labels), numpy::NPY_UBYTE, 1, dims);
}

Ref array_from_floats(std::vector<double>&& values) {
    const npy_intp dims[1] = {static_cast<npy_intp>(values.size())};
    return hand_over(std::move(values), numpy::NPY_DOUBLE, 1, dims);
}

Ref array_from_matrix(Matrix&& matrix) {
    const npy_intp dims[2] = {static_cast<npy_intp>(matrix.rows), static_cast<npy_intp>(matrix.cols)};
    return hand_over(std::move(matrix.data), numpy::NPY_DOUBLE, 2, dims);
}

Ref int_from_u64(std::uint64_t value) { return Ref::steal(created(PyLong_FromUnsignedLongLong(value))); }

Ref float_from_f64(double value) { return Ref::steal(created(PyFloat_FromDouble(value))); }

Ref bool_from(bool value) { return Ref::borrow(value ? Py_True : Py_False); }

Ref edge_tuple(const Edge& edge) {
    Ref tuple = Ref::steal(created(PyTuple_New(2)));
    PyTuple_SetItem(tuple.get(), 0, int_from_u64(edge.i).release());
    PyTuple_SetItem(tuple.get(), 1, int_from_u64(edge.j).release());
    // Two integers cannot take part in a reference cycle. The collector
    // would untrack the tuple itself the first time it looked at it; doing
    // it now spares every collection that a large batch triggers from
    // walking all of its tuples.
    PyObject_GC_UnTrack(tuple.get());
    return tuple;
}

Ref edge_list(const EdgeList& edges) {
    Ref list = Ref::steal(created(PyList_New(static_cast<Py_ssize_t>(edges.size()))));
    for (std::size_t k = 0; k < edges.size(); ++k)
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k), edge_tuple(edges[k]).release());
    return list;
}

Ref new_dict() { return Ref::steal(created(PyDict_New())); }

Ref new_list() { return Ref::steal(created(PyList_New(0))); }

Ref text(const char* utf8) {
    return Ref::steal(created(PyUnicode_FromStringAndSize(utf8, static_cast<Py_ssize_t>(std::strlen(utf8)))));
}

void dict_set(PyObject* dict, const char* key, Ref value) { dict_set(dict, text(key).get(), std::move(value)); }

void dict_set(PyObject* dict, PyObject* key, Ref value) {
    if (PyDict_SetItem(dict, key, value.get()) != 0) throw PyError::take();
}

void list_append(PyObject* list, PyObject* item) {
    if (PyList_Append(list, item) != 0) throw PyError::take();
}

}  // namespace korvale::py

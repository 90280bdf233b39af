// NumPy's C array API, reached through the table in its "_ARRAY_API" capsule
// so that no NumPy header is needed and NumPy is imported only on first use.
#pragma once

#include "boundary/python.hpp"

namespace korvale::py::numpy {

using npy_intp = Py_ssize_t;

inline constexpr int NPY_UBYTE = 2;
inline constexpr int NPY_DOUBLE = 12;
inline constexpr int NPY_ARRAY_WRITEABLE = 0x0400;

// The public head of an ndarray, identical in NumPy 1.x and 2.x. Only these
// fields are read; the struct is never allocated or sized.
struct ArrayHead {
    PyObject ob_base;
    char* data;
    int nd;
    npy_intp* dimensions;
    npy_intp* strides;
    PyObject* base;
    PyObject* descr;
    int flags;
};

struct Api {
    PyTypeObject* array_type;
    PyObject* (*descr_from_type)(int type_num);
    unsigned char (*equiv_types)(PyObject* a, PyObject* b);
    PyObject* (*new_from_descr)(PyTypeObject* subtype, PyObject* descr, int nd, const npy_intp* dims,
                                const npy_intp* strides, void* data, int flags, PyObject* obj);
    int (*set_base_object)(PyObject* array, PyObject* base);
};

// The table, loaded on the first call and kept for the life of the process.
// A failed load throws the internal failure "Failed to access NumPy array API
// capsule: ..." and is tried again on the next call.
const Api& api();

inline ArrayHead* head(PyObject* array) { return reinterpret_cast<ArrayHead*>(array); }

}  // namespace korvale::py::numpy

#include "lib/arguments.hpp"

#include <cstring>
#include <string>
#include <string_view>

#include "lib/errors.hpp"
#include "lib/numpy_api.hpp"

namespace korvale::py {

namespace {

[[noreturn]] void type_error(std::string text) { throw PyError::make(PyExc_TypeError, std::move(text)); }

std::string fn(const ParameterList& params) { return std::string(params.function) + "()"; }

// "f() got an unexpected keyword argument 'key'", the key as str() renders
// it. The message is put together as a Python string, so that a key UTF-8
// cannot encode (a lone surrogate) appears as it is. When str() raises, that
// error is reported as unraisable and a placeholder stands in.
[[noreturn]] void unexpected_keyword(const ParameterList& params, PyObject* key) {
    Ref text = Ref::steal(PyObject_Str(key));
    if (!text) {
        PyErr_WriteUnraisable(nullptr);
        Ref type_name = Ref::steal(PyType_GetName(Py_TYPE(key)));
        if (!type_name) PyErr_Clear();
        text = type_name ? Ref::steal(PyUnicode_FromFormat("<unprintable %U object>", type_name.get()))
                         : Ref::steal(PyUnicode_FromString("<unprintable object>"));
        if (!text) throw PyError::take();
    }
    PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", params.function, text.get());
    throw PyError::take();
}

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'
std::string quoted_list(const std::array<const char*, max_params>& names, std::size_t count) {
    std::string out;
    for (std::size_t k = 0; k < count; ++k) {
        if (k > 0) {
            if (count > 2) out += ",";
            out += k + 1 == count ? " and " : " ";
        }
        out += "'" + std::string(names[k]) + "'";
    }
    return out;
}

[[noreturn]] void wrap_argument_error(const char* name, PyError error) {
    PyObject* caught = error.exception();
    if (Py_TYPE(caught) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) throw error;
    Ref text = Ref::steal(PyObject_Str(caught));
    Ref message = text ? Ref::steal(PyUnicode_FromFormat("argument '%s': %U", name, text.get())) : Ref();
    Ref wrapped = message ? Ref::steal(PyObject_CallFunctionObjArgs(PyExc_TypeError, message.get(), nullptr)) : Ref();
    if (!wrapped) throw PyError::take();
    PyException_SetCause(wrapped.get(), PyException_GetCause(caught));
    PyErr_SetRaisedException(wrapped.release());
    throw PyError::take();
}

}  // namespace

Slots bind_arguments(const ParameterList& params, PyObject* args, PyObject* kwargs) {
    Slots slots{};
    const auto given = static_cast<std::size_t>(PyTuple_Size(args));
    for (std::size_t k = 0; k < given && k < params.count; ++k)
        slots[k] = PyTuple_GetItem(args, static_cast<Py_ssize_t>(k));

    if (given > params.count) {
        const char* verb = given == 1 ? "was" : "were";
        if (params.required == params.count)
            type_error(fn(params) + " takes " + std::to_string(params.count) + " positional arguments but " +
                       std::to_string(given) + " " + verb + " given");
        type_error(fn(params) + " takes from " + std::to_string(params.required) + " to " +
                   std::to_string(params.count) + " positional arguments but " + std::to_string(given) +
                   " " + verb + " given");
    }

    if (kwargs != nullptr) {
        Py_ssize_t pos = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(kwargs, &pos, &key, &value)) {
            Py_ssize_t size = 0;
            const char* bytes = PyUnicode_AsUTF8AndSize(key, &size);
            if (bytes == nullptr) PyErr_Clear();
            std::size_t match = params.count;
            for (std::size_t k = 0; bytes != nullptr && k < params.count; ++k) {
                if (std::string_view(bytes, static_cast<std::size_t>(size)) == params.names[k]) {
                    match = k;
                    break;
                }
            }
            if (match == params.count) unexpected_keyword(params, key);
            if (slots[match] != nullptr)
                type_error(fn(params) + " got multiple values for argument '" + params.names[match] + "'");
            slots[match] = value;
        }
    }

    if (given < params.required) {
        std::array<const char*, max_params> missing{};
        std::size_t count = 0;
        for (std::size_t k = given; k < params.required; ++k)
            if (slots[k] == nullptr) missing[count++] = params.names[k];
        if (count > 0)
            type_error(fn(params) + " missing " + std::to_string(count) + " required positional " +
                       (count == 1 ? "argument" : "arguments") + ": " + quoted_list(missing, count));
    }
    return slots;
}

std::uint64_t read_u64(PyObject* slot, const char* name) {
    unsigned long long value;
    if (PyType_GetFlags(Py_TYPE(slot)) & Py_TPFLAGS_LONG_SUBCLASS) {
        value = PyLong_AsUnsignedLongLong(slot);
    } else {
        Ref index = Ref::steal(PyNumber_Index(slot));
        if (!index) wrap_argument_error(name, PyError::take());
        value = PyLong_AsUnsignedLongLong(index.get());
    }
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred())
        wrap_argument_error(name, PyError::take());
    return value;
}

double read_optional_f64(PyObject* slot, const char* name, double fallback) {
    if (slot == nullptr || slot == Py_None) return fallback;
    const double value = PyFloat_AsDouble(slot);
    if (value == -1.0 && PyErr_Occurred()) wrap_argument_error(name, PyError::take());
    return value;
}

namespace {

void require_f64_array2(PyObject* slot, const char* name) {
    const numpy::Api& np = numpy::api();
    bool accepted = PyType_IsSubtype(Py_TYPE(slot), np.array_type) && numpy::head(slot)->nd == 2;
    if (accepted) {
        Ref float64 = Ref::steal(created(np.descr_from_type(numpy::NPY_DOUBLE)));
        PyObject* descr = numpy::head(slot)->descr;
        accepted = descr == float64.get() || np.equiv_types(descr, float64.get());
    }
    if (!accepted) {
        Ref qualname = Ref::steal(PyType_GetQualName(Py_TYPE(slot)));
        const char* type_name = qualname ? PyUnicode_AsUTF8AndSize(qualname.get(), nullptr) : nullptr;
        if (type_name == nullptr) {
            PyErr_Clear();
            type_name = "<failed to extract type name>";
        }
        PyErr_Format(PyExc_TypeError, "'%s' object cannot be converted to 'PyArray<T, D>'", type_name);
        wrap_argument_error(name, PyError::take());
    }
}

}  // namespace

ArrayArgument read_f64_array2(PyObject* slot, const char* name) {
    require_f64_array2(slot, name);
    return ArrayArgument(Ref::borrow(slot), name);
}

MatrixView ArrayArgument::view() const {
    require_f64_array2(array_.get(), name_);
    MatrixView view;
    const numpy::ArrayHead* h = numpy::head(array_.get());
    view.data_ = h->data;
    view.rows_ = static_cast<std::size_t>(h->dimensions[0]);
    view.cols_ = static_cast<std::size_t>(h->dimensions[1]);
    view.row_stride_ = h->strides[0];
    view.col_stride_ = h->strides[1];
    return view;
}

Matrix MatrixView::copy() const {
    Matrix m(rows_, cols_);
    for (std::size_t i = 0; i < rows_; ++i)
        for (std::size_t j = 0; j < cols_; ++j) m(i, j) = at(i, j);
    return m;
}

}  // namespace korvale::py

#include "lib/errors.hpp"

namespace korvale::py {

namespace {

// Created on first use, under the interpreter lock, and kept for the life of
// the process.
PyObject* panic_type = nullptr;

const char panic_doc[] =
    "Raised when korvale's native code fails.\n\n"
    "Like SystemExit, it derives from BaseException rather than Exception, so\n"
    "that it typically propagates all the way up the stack and makes the\n"
    "interpreter exit instead of being caught by `except Exception`.";

std::string utf8_of(PyObject* text) {
    Py_ssize_t size = 0;
    const char* bytes = PyUnicode_AsUTF8AndSize(text, &size);
    if (bytes == nullptr) {
        PyErr_Clear();
        return "<unprintable>";
    }
    return std::string(bytes, static_cast<std::size_t>(size));
}

std::string str_of(PyObject* obj) {
    Ref s = Ref::steal(PyObject_Str(obj));
    if (!s) {
        PyErr_Clear();
        return "<unprintable>";
    }
    return utf8_of(s.get());
}

}  // namespace

PyObject* created(PyObject* p, std::source_location where) {
    if (p != nullptr) return p;
    if (PyErr_ExceptionMatches(PyExc_MemoryError)) throw PyError::take();
    if (PyErr_Occurred()) PyErr_Print();
    internal_failure("Python API call failed", where);
}

std::string describe_exception(PyObject* exc) {
    std::string out;
    Ref type_name = Ref::steal(PyType_GetQualName(Py_TYPE(exc)));
    out = type_name ? utf8_of(type_name.get()) : std::string("<unknown>");
    out += ": " + str_of(exc);

    Ref tb = Ref::steal(PyException_GetTraceback(exc));
    if (tb && tb.get() != Py_None) {
        Ref traceback = Ref::steal(PyImport_ImportModule("traceback"));
        Ref lines = traceback ? Ref::steal(PyObject_CallMethod(traceback.get(), "format_tb", "O", tb.get()))
                              : Ref();
        Ref empty = Ref::steal(PyUnicode_FromString(""));
        Ref joined = lines && empty ? Ref::steal(PyUnicode_Join(empty.get(), lines.get())) : Ref();
        if (joined)
            out += "\nTraceback (most recent call last):\n" + utf8_of(joined.get());
        else
            PyErr_Clear();
    }
    return out;
}

void set_panic(const std::string& message) {
    if (panic_type == nullptr) {
        panic_type = PyErr_NewExceptionWithDoc("mervane_runtime.PanicException", panic_doc,
                                               PyExc_BaseException, nullptr);
        if (panic_type == nullptr) return;  // that error is now pending
    }
    Ref text = Ref::steal(
        PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
    if (!text) return;
    PyErr_SetObject(panic_type, text.get());
}

std::string unforeseen_message(const std::exception_ptr& failure) noexcept {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "internal failure without a message";
    }
}

}  // namespace korvale::py

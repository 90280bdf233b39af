#include "lib/errors.hpp"

#include <atomic>

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

PyError PyError::take() {
    PyObject* exc = PyErr_GetRaisedException();
    if (exc == nullptr)
        return make(PyExc_SystemError, "attempted to fetch exception but none was set");
    return PyError(Ref::steal(exc));
}

PyError PyError::make(PyObject* type, std::string text) {
    Ref message = Ref::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
    if (!message) return take();
    Ref exc = Ref::steal(PyObject_CallFunctionObjArgs(type, message.get(), nullptr));
    if (!exc) return take();
    return PyError(std::move(exc));
}

void PyError::set_pending() { PyErr_SetRaisedException(exc_.release()); }

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

// The main thread's identity, looked up once under the lock. After a fork
// from another thread the child's main thread differs; it then merely goes
// without interruption checks.
bool ReleasedLock::on_main_thread() noexcept {
    static std::atomic<unsigned long> main_ident{0};
    unsigned long ident = main_ident.load(std::memory_order_relaxed);
    if (ident == 0) {
        Ref threading = Ref::steal(PyImport_ImportModule("threading"));
        Ref main = threading ? Ref::steal(PyObject_CallMethod(threading.get(), "main_thread", nullptr)) : Ref();
        Ref value = main ? Ref::steal(PyObject_GetAttrString(main.get(), "ident")) : Ref();
        ident = value ? PyLong_AsUnsignedLong(value.get()) : 0;
        if (PyErr_Occurred()) {
            PyErr_Clear();
            return false;
        }
        main_ident.store(ident, std::memory_order_relaxed);
    }
    return ident == PyThread_get_thread_ident();
}

void ReleasedLock::check_signals(void* self) {
    auto* lock = static_cast<ReleasedLock*>(self);
    PyEval_RestoreThread(lock->state_);
    if (PyErr_CheckSignals() == 0) {
        lock->state_ = PyEval_SaveThread();
        return;
    }
    PyError raised = PyError::take();
    lock->state_ = PyEval_SaveThread();
    // Destroyed only once caught at the entry point, with the lock held.
    throw raised;
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

}  // namespace korvale::py

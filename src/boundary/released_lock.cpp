#include "boundary/released_lock.hpp"

#include <atomic>

#include "boundary/python_error.hpp"

namespace korvale::py {

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
    // Destroyed only once caught where the call entered, with the lock held.
    throw raised;
}

}  // namespace korvale::py

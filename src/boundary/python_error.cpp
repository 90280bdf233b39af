#include "boundary/python_error.hpp"

#include <new>

#include "core/failure.hpp"
#include "core/memory.hpp"

namespace korvale::py {

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

bool set_python_error(const std::exception_ptr& failure) noexcept {
    try {
        std::rethrow_exception(failure);
    } catch (PyError& e) {
        e.set_pending();
    } catch (const InputError& e) {
        PyErr_SetString(PyExc_ValueError, e.what());
    } catch (const MemoryShortage& e) {
        PyErr_SetString(PyExc_MemoryError, e.what());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (...) {
        return false;
    }
    return true;
}

}  // namespace korvale::py

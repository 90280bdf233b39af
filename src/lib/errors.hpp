// How failures travel from anywhere in a call to its entry point, and how
// the entry point raises them.
//
// Python-level errors (PyError), bad input (InputError, raised as
// ValueError) and memory exhaustion are raised as in the other module;
// internal failures (korvale::InternalFailure, and anything unforeseen) are
// raised as PanicException.
#pragma once

#include <exception>
#include <string>

#include "boundary/python_error.hpp"
#include "boundary/released_lock.hpp"
#include "core/failure.hpp"

namespace korvale::py {

// Throws the pending error when p is NULL (calls whose failure is the
// caller's error: lookups, insertions, imports).
inline PyObject* ok_or_throw(PyObject* p) {
    if (p == nullptr) throw PyError::take();
    return p;
}

// Checks a call that creates a result object. A pending MemoryError stays a
// MemoryError; any other failure prints the pending error and becomes the
// internal failure "Python API call failed".
PyObject* created(PyObject* p, std::source_location where = std::source_location::current());

// "Type: value" of an exception, followed by its traceback when it has one.
std::string describe_exception(PyObject* exc);

// Raises an internal failure as the process-wide PanicException.
void set_panic(const std::string& message);

// The message of an exception no mapping foresaw: its what(), if it has one.
std::string unforeseen_message(const std::exception_ptr& failure) noexcept;

// Runs an entry point's body and turns every failure into a pending Python
// exception and a NULL return.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        if (!set_python_error(std::current_exception())) set_panic(unforeseen_message(std::current_exception()));
    }
    return nullptr;
}

}  // namespace korvale::py

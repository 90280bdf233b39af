// The Python side of a failure: an exception object carried through C++
// code, and the one mapping from domain failures to Python exceptions that
// both extension modules use.
#pragma once

#include <exception>
#include <string>

#include "boundary/ref.hpp"

namespace korvale::py {

// A Python exception in flight through C++ code (one raised by a signal
// handler, or by a failed interpreter call). Create, move and destroy it
// with the interpreter lock held.
class PyError : public std::exception {
public:
    // Takes the pending exception after a failed interpreter call; a
    // SystemError stands in when none is pending.
    static PyError take();
    // An error of the given type whose message is text.
    static PyError make(PyObject* type, std::string text);

    // Makes this the pending exception; the error is spent afterwards.
    void set_pending();
    PyObject* exception() const noexcept { return exc_.get(); }
    const char* what() const noexcept override { return "Python error"; }

private:
    explicit PyError(Ref exc) : exc_(std::move(exc)) {}
    Ref exc_;
};

// Sets the pending Python exception for the failures both modules raise
// alike and returns true: a PyError as it is, an InputError as ValueError, a
// memory request refused up front (MemoryShortage) as MemoryError with its
// message, any other exhaustion (std::bad_alloc) as a bare MemoryError.
// Returns false, setting nothing, for an internal failure or anything else,
// which each module raises as its own internal-failure type.
bool set_python_error(const std::exception_ptr& failure) noexcept;

}  // namespace korvale::py

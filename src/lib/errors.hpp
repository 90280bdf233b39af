// How failures travel from anywhere in a call to its entry point, and how
// the entry point raises them.
//
// Three kinds are told apart: Python-level errors (PyError, raised as they
// are), domain validation failures (ValueFailure, raised as ValueError) and
// internal failures (korvale::InternalFailure, raised as PanicException).
#pragma once

#include <exception>
#include <new>
#include <string>

#include "core/failure.hpp"
#include "core/interrupt.hpp"
#include "core/memory.hpp"
#include "lib/ref.hpp"

namespace korvale::py {

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

class ValueFailure : public std::exception {
public:
    explicit ValueFailure(std::string text) : text_(std::move(text)) {}
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::string text_;
};

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

// Releases the interpreter lock for the lifetime of the guard and takes it
// back on every way out of the scope, exceptions included. Nothing Python
// may be touched while it lives.
//
// On the main thread it also lets the computation be interrupted: the polls
// of the domain code call back every few milliseconds, the lock is taken
// back just long enough to run the signal handlers, and an exception they
// raise (KeyboardInterrupt for Ctrl-C) is thrown through the computation as
// a PyError. Handlers run on the main thread only, so other threads never
// wait for the lock just to learn that.
class ReleasedLock {
public:
    ReleasedLock() : interruptible_(on_main_thread()), state_(PyEval_SaveThread()),
                     check_(interruptible_ ? &check_signals : nullptr, this) {}
    ~ReleasedLock() { PyEval_RestoreThread(state_); }
    ReleasedLock(const ReleasedLock&) = delete;
    ReleasedLock& operator=(const ReleasedLock&) = delete;

private:
    static bool on_main_thread() noexcept;
    static void check_signals(void* self);

    bool interruptible_;
    PyThreadState* state_;
    ScopedInterruptCheck check_;
};

// Runs an entry point's body and turns every failure into a pending Python
// exception and a NULL return.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (PyError& e) {
        e.set_pending();
    } catch (const ValueFailure& e) {
        PyErr_SetString(PyExc_ValueError, e.what());
    } catch (const InternalFailure& e) {
        set_panic(e.message());
    } catch (const MemoryShortage& e) {
        PyErr_SetString(PyExc_MemoryError, e.what());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        set_panic(e.what());
    } catch (...) {
        set_panic("internal failure without a message");
    }
    return nullptr;
}

}  // namespace korvale::py

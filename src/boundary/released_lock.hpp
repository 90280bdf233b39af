// Computing without the interpreter lock, and still answering Ctrl-C.
#pragma once

#include "boundary/python.hpp"
#include "core/interrupt.hpp"

namespace korvale::py {

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

}  // namespace korvale::py

// Stopping a long computation from outside, without the computation knowing
// who asks.
//
// A boundary installs a check on the thread that is about to compute (for
// Python: one that briefly takes the interpreter lock back and runs the
// signal handlers). The computation reports its progress to an
// InterruptPoll, which runs the installed check every few milliseconds of
// work. A check that wants the work abandoned throws; the exception unwinds
// through the computation, which frees everything on the way, up to the
// boundary that installed the check.
#pragma once

#include <chrono>
#include <cstdint>

namespace korvale {

using InterruptCheck = void (*)(void* context);

// Installs check(context) for the current thread for the lifetime of the
// object; the previous one (usually none) is restored afterwards. A null
// check installs nothing.
class ScopedInterruptCheck {
public:
    ScopedInterruptCheck(InterruptCheck check, void* context) noexcept;
    ~ScopedInterruptCheck();
    ScopedInterruptCheck(const ScopedInterruptCheck&) = delete;
    ScopedInterruptCheck& operator=(const ScopedInterruptCheck&) = delete;

private:
    InterruptCheck previous_check_;
    void* previous_context_;
};

// Counts work done (units of about one multiply-add) and, once a slice of
// it has been done, looks at the clock: the installed check runs when the
// interval has passed since the poll started or last checked. Without an
// installed check the poll never reads the clock. One poll serves one
// computation on one thread; create it where the computation starts.
class InterruptPoll {
public:
    static constexpr std::uint64_t slice = std::uint64_t{1} << 20;
    static constexpr std::chrono::milliseconds interval{25};

    InterruptPoll() noexcept;

    void operator()(std::uint64_t work) {
        if (work < budget_) {
            budget_ -= work;
            return;
        }
        slow_path();
    }

private:
    void slow_path();

    std::uint64_t budget_;
    InterruptCheck check_;
    void* context_;
    std::chrono::steady_clock::time_point last_;
};

}  // namespace korvale

#include "core/interrupt.hpp"

#include <limits>

namespace korvale {

namespace {

thread_local InterruptCheck installed_check = nullptr;
thread_local void* installed_context = nullptr;

}  // namespace

ScopedInterruptCheck::ScopedInterruptCheck(InterruptCheck check, void* context) noexcept
    : previous_check_(installed_check), previous_context_(installed_context) {
    if (check != nullptr) {
        installed_check = check;
        installed_context = context;
    }
}

ScopedInterruptCheck::~ScopedInterruptCheck() {
    installed_check = previous_check_;
    installed_context = previous_context_;
}

InterruptPoll::InterruptPoll() noexcept
    : budget_(slice), check_(installed_check), context_(installed_context) {
    if (check_ == nullptr)
        budget_ = std::numeric_limits<std::uint64_t>::max();
    else
        last_ = std::chrono::steady_clock::now();
}

void InterruptPoll::slow_path() {
    if (check_ == nullptr) {
        budget_ = std::numeric_limits<std::uint64_t>::max();
        return;
    }
    budget_ = slice;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < interval) return;
    last_ = now;
    check_(context_);
}

}  // namespace korvale

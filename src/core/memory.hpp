#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <string>

namespace korvale {

// A byte count for up-front memory checks that saturates instead of
// wrapping: a request too large to count is simply one that cannot be
// served. Formulas read as arithmetic: Bytes(n) * 24 + Bytes(m) * 16.
class Bytes {
public:
    static constexpr std::size_t most = static_cast<std::size_t>(-1);

    constexpr Bytes(std::size_t value = 0) noexcept : value_(value) {}  // NOLINT: implicit on purpose
    constexpr std::size_t value() const noexcept { return value_; }
    constexpr bool saturated() const noexcept { return value_ == most; }

    friend constexpr Bytes operator+(Bytes a, Bytes b) noexcept {
        return a.value_ > most - b.value_ ? Bytes(most) : Bytes(a.value_ + b.value_);
    }
    friend constexpr Bytes operator*(Bytes a, Bytes b) noexcept {
        return b.value_ != 0 && a.value_ > most / b.value_ ? Bytes(most) : Bytes(a.value_ * b.value_);
    }
    Bytes& operator+=(Bytes b) noexcept { return *this = *this + b; }

private:
    std::size_t value_;
};

// A request refused up front. It is a std::bad_alloc, so every boundary
// raises it as MemoryError; its message says what the call needed and what
// the process could get.
class MemoryShortage : public std::bad_alloc {
public:
    MemoryShortage(Bytes needed, std::optional<std::uint64_t> available);
    const char* what() const noexcept override { return message_.c_str(); }
    Bytes needed() const noexcept { return needed_; }

private:
    Bytes needed_;
    std::string message_;
};

// Throws MemoryShortage when bytes exceed what the process can get. A
// request that large would otherwise be granted lazily by the kernel and end
// with the process killed (by the OOM killer, or by its container's limit)
// instead of an error. Requests under small_request are left to the
// allocator: they cannot be the one that tips a healthy process over, and
// reading the figures costs a few file reads. A saturated count is refused
// whatever is available. The request checked is bytes and call_overhead.
void require_memory(Bytes bytes);

inline constexpr std::size_t small_request = std::size_t{16} << 20;

// What a call holds that no formula follows: the objects around its result,
// the allocator's headers, partly used pages.
inline constexpr std::size_t call_overhead = std::size_t{1} << 20;

// An edge as a caller's result list holds it (a pair of two integers and
// its slot in the list): what a result listing many edges costs beyond the
// domain's own records.
inline constexpr std::size_t result_edge_bytes = 136;

// Bytes the process can still get: the kernel's MemAvailable, and where a
// memory cgroup limits this process or one of its ancestors (v2 memory.max,
// v1 memory.limit_in_bytes) the least headroom among them, a cgroup's
// headroom being its limit less what it uses that the kernel cannot simply
// drop (its usage less its inactive file cache). Nothing when no figure can
// be read.
std::optional<std::uint64_t> available_memory();

// The parsing behind it, given the files' contents (for the tests).
std::optional<std::uint64_t> mem_available_kib(const std::string& meminfo);
// The "inactive_file" (v2) or "total_inactive_file" (v1) figure of a
// memory.stat file; 0 when it has none.
std::uint64_t inactive_file_bytes(const std::string& memory_stat);
// The cgroup paths of this process in /proc/self/cgroup's format: the v2
// path ("0::/PATH") and the v1 memory controller's path.
struct CgroupPaths {
    std::optional<std::string> v2;
    std::optional<std::string> v1_memory;
};
CgroupPaths cgroup_paths(const std::string& proc_self_cgroup);

// "1,234,567 bytes (1.2 MiB)": byte counts as messages show them.
std::string describe_bytes(std::uint64_t bytes);

}  // namespace korvale

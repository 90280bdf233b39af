#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace korvale {

// Throws std::bad_alloc when bytes exceed what the process can get. A
// request that large would otherwise be granted lazily by the kernel and end
// with the process killed (by the OOM killer, or by its container's limit)
// instead of an error. Requests under small_request are left to the
// allocator: they cannot be the one that tips a healthy process over, and
// reading the figures costs a few file reads.
void require_memory(std::size_t bytes);

inline constexpr std::size_t small_request = std::size_t{16} << 20;

// Bytes the process can still get: the kernel's MemAvailable, and where a
// memory cgroup limits this process or one of its ancestors (v2 memory.max
// less memory.current, v1 memory.limit_in_bytes less memory.usage_in_bytes),
// the least headroom among them. Nothing when no figure can be read.
std::optional<std::uint64_t> available_memory();

// The parsing behind it, given the files' contents (for the tests).
std::optional<std::uint64_t> mem_available_kib(const std::string& meminfo);
// The cgroup paths of this process in /proc/self/cgroup's format: the v2
// path ("0::/PATH") and the v1 memory controller's path.
struct CgroupPaths {
    std::optional<std::string> v2;
    std::optional<std::string> v1_memory;
};
CgroupPaths cgroup_paths(const std::string& proc_self_cgroup);

}  // namespace korvale

#include "core/memory.hpp"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <new>
#include <sstream>

namespace korvale {

namespace {

std::optional<std::string> read_file(const std::string& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A file holding one unsigned number ("max" and anything else: nothing).
std::optional<std::uint64_t> read_number(const std::string& path) {
    const auto text = read_file(path);
    if (!text) return std::nullopt;
    std::uint64_t value = 0;
    const char* end = text->data() + text->size();
    const auto [ptr, ec] = std::from_chars(text->data(), end, value);
    if (ec != std::errc() || ptr == text->data()) return std::nullopt;
    return value;
}

// The least headroom (limit less usage) of the cgroup at path and of its
// ancestors up to the mount point; a parent's limit binds its children.
std::optional<std::uint64_t> cgroup_headroom(const std::string& mount, std::string path, const char* limit_file,
                                              const char* usage_file) {
    std::optional<std::uint64_t> least;
    for (;;) {
        const std::string dir = mount + (path == "/" ? "" : path);
        const auto limit = read_number(dir + "/" + limit_file);
        const auto usage = read_number(dir + "/" + usage_file);
        if (limit && usage) {
            const std::uint64_t room = *limit > *usage ? *limit - *usage : 0;
            least = least ? std::min(*least, room) : room;
        }
        if (path.empty() || path == "/") break;
        const auto slash = path.find_last_of('/');
        path = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
    }
    return least;
}

}  // namespace

std::optional<std::uint64_t> mem_available_kib(const std::string& meminfo) {
    std::istringstream lines(meminfo);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("MemAvailable:", 0) != 0) continue;
        std::istringstream fields(line.substr(13));
        std::uint64_t kib = 0;
        if (fields >> kib) return kib;
        return std::nullopt;
    }
    return std::nullopt;
}

CgroupPaths cgroup_paths(const std::string& proc_self_cgroup) {
    CgroupPaths out;
    std::istringstream lines(proc_self_cgroup);
    std::string line;
    while (std::getline(lines, line)) {
        // hierarchy-ID:controller-list:path
        const auto first = line.find(':');
        const auto second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos) continue;
        const std::string id = line.substr(0, first);
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string path = line.substr(second + 1);
        if (id == "0" && controllers.empty()) {
            out.v2 = path;
            continue;
        }
        std::istringstream names(controllers);
        std::string name;
        while (std::getline(names, name, ','))
            if (name == "memory") out.v1_memory = path;
    }
    return out;
}

std::optional<std::uint64_t> available_memory() {
    std::optional<std::uint64_t> least;
    auto take = [&](std::optional<std::uint64_t> figure) {
        if (figure) least = least ? std::min(*least, *figure) : *figure;
    };
    if (const auto meminfo = read_file("/proc/meminfo"))
        if (const auto kib = mem_available_kib(*meminfo)) take(*kib > UINT64_MAX / 1024 ? UINT64_MAX : *kib * 1024);
    if (const auto text = read_file("/proc/self/cgroup")) {
        const CgroupPaths paths = cgroup_paths(*text);
        if (paths.v2) take(cgroup_headroom("/sys/fs/cgroup", *paths.v2, "memory.max", "memory.current"));
        if (paths.v1_memory)
            take(cgroup_headroom("/sys/fs/cgroup/memory", *paths.v1_memory, "memory.limit_in_bytes",
                                 "memory.usage_in_bytes"));
    }
    return least;
}

void require_memory(std::size_t bytes) {
    if (bytes < small_request) return;
    const auto available = available_memory();
    if (available && bytes > *available) throw std::bad_alloc();
}

}  // namespace korvale

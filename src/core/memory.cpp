#include "core/memory.hpp"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
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

// The files of one cgroup version's memory controller.
struct CgroupFiles {
    const char* mount;
    const char* limit;
    const char* usage;
};

// The least headroom of the cgroup at path and of its ancestors up to the
// mount point; a parent's limit binds its children. Usage counts the page
// cache, whose inactive part the kernel drops before it refuses memory.
std::optional<std::uint64_t> cgroup_headroom(const CgroupFiles& files, std::string path) {
    std::optional<std::uint64_t> least;
    for (;;) {
        const std::string dir = files.mount + (path == "/" ? "" : path);
        const auto limit = read_number(dir + "/" + files.limit);
        auto usage = read_number(dir + "/" + files.usage);
        if (limit && usage) {
            if (const auto stat = read_file(dir + "/memory.stat"))
                *usage -= std::min(*usage, inactive_file_bytes(*stat));
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

std::uint64_t inactive_file_bytes(const std::string& memory_stat) {
    std::istringstream lines(memory_stat);
    std::string name;
    std::uint64_t value = 0, local = 0, total = 0;
    bool has_total = false;
    while (lines >> name >> value) {
        if (name == "inactive_file") local = value;
        if (name == "total_inactive_file") {
            total = value;
            has_total = true;
        }
    }
    // v1's usage counts the cgroup's descendants, as its total_ figures do.
    return has_total ? total : local;
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
        if (paths.v2) take(cgroup_headroom({"/sys/fs/cgroup", "memory.max", "memory.current"}, *paths.v2));
        if (paths.v1_memory)
            take(cgroup_headroom({"/sys/fs/cgroup/memory", "memory.limit_in_bytes", "memory.usage_in_bytes"},
                                 *paths.v1_memory));
    }
    return least;
}

void require_memory(Bytes bytes) {
    if (bytes.value() < small_request) return;
    const Bytes needed = bytes + call_overhead;
    const auto available = available_memory();
    if (needed.saturated() || (available && needed.value() > *available)) throw MemoryShortage(needed, available);
}

std::string describe_bytes(std::uint64_t bytes) {
    const std::string plain = std::to_string(bytes);
    std::string digits;
    for (std::size_t at = 0; at < plain.size(); ++at) {
        if (at > 0 && (plain.size() - at) % 3 == 0) digits += ',';
        digits += plain[at];
    }
    static const char* const units[] = {"bytes", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double scaled = static_cast<double>(bytes);
    std::size_t unit = 0;
    while (scaled >= 1024.0 && unit + 1 < std::size(units)) {
        scaled /= 1024.0;
        ++unit;
    }
    if (unit == 0) return digits + " bytes";
    char shown[32];
    std::snprintf(shown, sizeof shown, "%.1f %s", scaled, units[unit]);
    return digits + " bytes (" + shown + ")";
}

MemoryShortage::MemoryShortage(Bytes needed, std::optional<std::uint64_t> available) : needed_(needed) {
    message_ = needed.saturated() ? "not enough memory: the call needs more bytes than a 64-bit count holds"
                                  : "not enough memory: the call needs " + describe_bytes(needed.value());
    if (available) message_ += ", and " + describe_bytes(*available) + " are available";
}

}  // namespace korvale

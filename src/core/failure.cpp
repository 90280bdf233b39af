#include "core/failure.hpp"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace korvale {

namespace {

// The unit's path from the source root, e.g. "src/rank/rank_tracker.cpp".
const char* source_unit(const char* path) {
    const char* unit = std::strstr(path, "src/");
    for (const char* next = unit; next != nullptr; next = std::strstr(next + 1, "src/")) unit = next;
    return unit != nullptr ? unit : path;
}

}  // namespace

void internal_failure(std::string message, std::source_location where) {
    std::fprintf(stderr, "korvale: internal failure at %s:%u:%u: %s\n", source_unit(where.file_name()),
                 static_cast<unsigned>(where.line()), static_cast<unsigned>(where.column()),
                 message.c_str());
    std::fflush(stderr);
    throw InternalFailure(std::move(message));
}

std::size_t checked_capacity(std::size_t count, std::size_t elem_size, std::source_location where) {
    if (elem_size != 0 && count > static_cast<std::size_t>(PTRDIFF_MAX) / elem_size)
        internal_failure("capacity overflow", where);
    return count;
}

std::size_t checked_capacity(std::size_t count_a, std::size_t count_b, std::size_t elem_size,
                             std::source_location where) {
    if (count_a != 0 && count_b > static_cast<std::size_t>(PTRDIFF_MAX) / count_a)
        internal_failure("capacity overflow", where);
    return checked_capacity(count_a * count_b, elem_size, where);
}

std::size_t checked_sum(std::initializer_list<std::size_t> parts, std::source_location where) {
    std::size_t total = 0;
    for (std::size_t part : parts) {
        if (part > static_cast<std::size_t>(PTRDIFF_MAX) - total) internal_failure("capacity overflow", where);
        total += part;
    }
    return total;
}

void index_out_of_bounds(std::size_t len, std::size_t index, std::source_location where) {
    internal_failure("index out of bounds: the len is " + std::to_string(len) +
                         " but the index is " + std::to_string(index),
                     where);
}

}  // namespace korvale

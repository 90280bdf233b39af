#include "core/memory.hpp"

#include <unistd.h>

#include <new>

namespace korvale {

void require_memory(std::size_t bytes) {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || page_size <= 0) return;  // unknown: let the allocator decide
    const auto physical = static_cast<std::size_t>(pages) * static_cast<std::size_t>(page_size);
    if (bytes > physical) throw std::bad_alloc();
}

}  // namespace korvale

#pragma once

#include <cstddef>

namespace korvale {

// Throws std::bad_alloc when bytes exceed the machine's physical memory: a
// request that large would otherwise be granted lazily by the kernel and end
// with the process killed instead of an error.
void require_memory(std::size_t bytes);

}  // namespace korvale

// Frames of memory straight from the operating system, for the memory manager's node and
// series frames and its big series.
#pragma once

#include <cstddef>

namespace kaz::sysrt {

// Maps `bytes` (rounded up to whole pages) of zeroed read-write memory, page aligned.
// Throws thrown::os_alloc_failed when the system refuses.
void* os_virtual_alloc(size_t bytes);

// Unmaps a region given by os_virtual_alloc, with the size it was asked with.
// Throws thrown::os_release_failed when the system refuses.
void os_virtual_free(void* base, size_t bytes);

}  // namespace kaz::sysrt

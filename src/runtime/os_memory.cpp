#include "runtime/os_memory.h"

#include <sys/mman.h>

#include "runtime/throw.h"

namespace kaz::sysrt {

void* os_virtual_alloc(size_t bytes) {
  if (bytes == 0) throw_value(thrown::os_alloc_failed);
  void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw_value(thrown::os_alloc_failed);
  return p;
}

void os_virtual_free(void* base, size_t bytes) {
  if (!base || bytes == 0 || ::munmap(base, bytes) != 0) throw_value(thrown::os_release_failed);
}

}  // namespace kaz::sysrt

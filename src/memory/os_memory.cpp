#include "memory/os_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include "runtime/fire.h"
#include "runtime/os_memory.h"
#include "runtime/throw.h"

namespace kaz::memory::os {

int64_t bytes_taken = 0;

uint64_t page_size() {
  static const uint64_t size = [] {
    long s = sysconf(_SC_PAGESIZE);
    return s > 0 ? uint64_t(s) : uint64_t(4096);
  }();
  return size;
}

uint64_t round_to_pages(uint64_t bytes) {
  uint64_t p = page_size();
  return (bytes + p - 1) & ~(p - 1);
}

// The OS layer throws its failure values; the frame allocator's region takes them.
void* try_map(uint64_t bytes) {
  uint64_t size = round_to_pages(bytes);
  void* p = nullptr;
  if (sysrt::guarded(sysrt::thrown::os_memory, [&] { p = sysrt::os_virtual_alloc(size); }))
    return nullptr;
  bytes_taken += int64_t(size);
  return p;
}

void* map(uint64_t bytes) {
  void* p = try_map(bytes);
  if (!p) fire(err::internal_no_memory);
  return p;
}

void unmap(void* base, uint64_t bytes) {
  uint64_t size = round_to_pages(bytes);
  if (sysrt::guarded(sysrt::thrown::os_memory, [&] { sysrt::os_virtual_free(base, size); }))
    fire(err::internal_wrong_mem);
  bytes_taken -= int64_t(size);
}

void* reserve(uint64_t bytes) {
  void* p = mmap(nullptr, round_to_pages(bytes), PROT_NONE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

bool commit(void* at, uint64_t bytes) {
  return mprotect(at, round_to_pages(bytes), PROT_READ | PROT_WRITE) == 0;
}

void decommit(void* at, uint64_t bytes) {
  uint64_t size = round_to_pages(bytes);
  madvise(at, size, MADV_DONTNEED);
  mprotect(at, size, PROT_NONE);
}

}  // namespace kaz::memory::os

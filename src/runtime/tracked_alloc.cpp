#include "runtime/tracked_alloc.h"

#include <cstdlib>
#include <cstring>

#include "runtime/print_items.h"
#include "runtime/runtime_error.h"
#include "runtime/runtime_record.h"

namespace kaz::sysrt {

namespace {

constexpr uintptr_t check_key = 0x6B617A7472616B64;  // arbitrary, not a plausible address

uintptr_t check_of(const tracked_block* b) { return reinterpret_cast<uintptr_t>(b) ^ check_key; }

tracked_block* header_of(void* area) {
  return reinterpret_cast<tracked_block*>(static_cast<char*>(area) - sizeof(tracked_block));
}

void* area_of(tracked_block* b) { return b + 1; }

// Links a fresh block at the tail.
void link_at_tail(tracked_block* b) {
  tracked_list& list = runtime.tracked;
  b->previous = list.tail;
  b->next = nullptr;
  if (list.tail)
    list.tail->next = b;
  else
    list.head = b;
  list.tail = b;
}

void unlink(tracked_block* b) {
  tracked_list& list = runtime.tracked;
  if (b->previous)
    b->previous->next = b->next;
  else
    list.head = b->next;
  if (b->next)
    b->next->previous = b->previous;
  else
    list.tail = b->previous;
}

// The heap size for an area of `size` bytes, or 0 when it cannot be represented.
size_t block_bytes(size_t size) {
  if (size > SIZE_MAX - sizeof(tracked_block)) return 0;
  return size + sizeof(tracked_block);
}

[[noreturn]] void out_of_memory(uintptr_t site) { quit_with_code(rterr::out_of_memory, site); }

void* alloc_at(size_t size, uintptr_t site) {
  size_t bytes = block_bytes(size);
  auto* b = bytes ? static_cast<tracked_block*>(std::malloc(bytes)) : nullptr;
  if (!b) out_of_memory(site);
  b->size = size;
  b->check = check_of(b);
  link_at_tail(b);
  return area_of(b);
}

bool is_live(void* area) { return area && header_of(area)->check == check_of(header_of(area)); }

}  // namespace

__attribute__((noinline)) void* alloc(size_t size) { return alloc_at(size, KAZ_ERROR_SITE()); }

__attribute__((noinline)) void* alloc_zeroed(size_t size) {
  void* area = alloc_at(size, KAZ_ERROR_SITE());
  std::memset(area, 0, size);
  return area;
}

__attribute__((noinline)) void* realloc(void* area, size_t size) {
  uintptr_t site = KAZ_ERROR_SITE();
  if (!area) return alloc_at(size, site);
  if (size == 0) {
    free(area);
    return nullptr;
  }
  // Resizing something that is not a live tracked area is a fault in the caller.
  if (!is_live(area)) quit_with_code(rterr::assertion_failed, site);
  tracked_block* old = header_of(area);
  tracked_block* previous = old->previous;
  tracked_block* next = old->next;
  size_t bytes = block_bytes(size);
  auto* b = bytes ? static_cast<tracked_block*>(std::realloc(old, bytes)) : nullptr;
  if (!b) out_of_memory(site);
  b->size = size;
  b->check = check_of(b);
  if (previous)
    previous->next = b;
  else
    runtime.tracked.head = b;
  if (next)
    next->previous = b;
  else
    runtime.tracked.tail = b;
  return area_of(b);
}

void free(void* area) {
  if (!is_live(area)) return;
  tracked_block* b = header_of(area);
  unlink(b);
  b->check = 0;
  std::free(b);
}

void free_all() {
  tracked_block* b = runtime.tracked.head;
  while (b) {
    tracked_block* next = b->next;
    b->check = 0;
    std::free(b);
    b = next;
  }
  runtime.tracked = {nullptr, nullptr};
}

void heap_report() {
  print_line({item::text("-- Heap-allocations --")});
  print_line({item::text("Asked   Real")});
  uint64_t sum = 0;
  for (tracked_block* b = runtime.tracked.head; b; b = b->next) {
    uint64_t real = b->size + sizeof(tracked_block);
    sum += real;
    print_line({item::size(b->size), item::text("\t"), item::size(real)});
  }
  print_line({item::text("-- Sum: "), item::size(sum), item::text(" --")});
}

}  // namespace kaz::sysrt

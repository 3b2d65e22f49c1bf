// The tracked allocator: the runtime's own tables come from the heap through it, and every block
// still alive is freed on the exit path.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kaz::sysrt {

/*
 * Every block starts with this header, linked into the runtime record's list in allocation
 * order (a reallocated block keeps its place). Callers see only the area after the header.
 * The check word (the header's address mixed with a constant) lets `free` refuse an address
 * that is not a live tracked area in constant time instead of searching the list.
 */
struct tracked_block {
  tracked_block* previous;
  tracked_block* next;
  size_t size;      // bytes the caller asked for
  uintptr_t check;  // tracked_check(this) while the block is alive
};
static_assert(sizeof(tracked_block) % 16 == 0, "areas stay 16-byte aligned");

// A block of `size` bytes. Never answers null: an exhausted heap is runtime error 94.
void* alloc(size_t size);
void* alloc_zeroed(size_t size);

// Resizes an area, keeping its contents up to the smaller size and its place in the list.
// A null area allocates; size 0 frees and answers null; an area that is not a live tracked
// block is a fault in the caller, runtime error 98.
void* realloc(void* area, size_t size);

// Frees an area. Null, or an address inside a live block that is not its area, changes nothing
// (the check word does not match); an area already freed must not be passed.
void free(void* area);

// Frees every block; the list is then empty.
void free_all();

// Prints the list of blocks with their asked and real sizes (a diagnostic).
void heap_report();

// The value rounded up to a multiple of the alignment, a power of two.
constexpr uint32_t round_up(uint32_t value, uint32_t alignment) {
  return (value + alignment - 1) & ~(alignment - 1);
}

}  // namespace kaz::sysrt

/*
 * The conservative scan of the native stack. C++ code holds node ids and raw pointers into
 * buffers in its locals and registers; the scan finds them without any help from the code:
 *   - a 4-byte-aligned word equal to a node id in use keeps that node, and its node frame is
 *     not emptied in this collection, so the id stays valid;
 *   - an 8-byte-aligned word pointing into a live buffer, anywhere from its header to 16 bytes
 *     past its data area, keeps that buffer and pins it: it does not move in this collection.
 * Callee-saved registers are spilled to the stack first (__builtin_unwind_init). The scan only
 * reads; false hits merely keep garbage alive until a later collection.
 */
#include <algorithm>
#include <cstring>

#include "memory/gc_internal.h"
#include "memory/node_frames.h"
#include "memory/series_frames.h"

namespace kaz::collector::internal {

namespace {

using memory::frames::big_series;
using memory::frames::series_frame;

constexpr uint64_t slack = 16;

// A region pointers may point into: a series frame or a big series.
struct range {
  uintptr_t lo, hi;  // [lo, hi), slack included
  series_frame* frame;
  series_buffer* big;
};

std::vector<range> ranges;

void index_ranges() {
  ranges.clear();
  for (series_frame* f : memory::frames::list)
    if (f->bump > f->start)
      ranges.push_back({uintptr_t(f->start), uintptr_t(f->bump) + slack, f, nullptr});
  for (big_series* b = memory::frames::big_head; b; b = b->next) {
    series_buffer* s = b->buffer();
    ranges.push_back({uintptr_t(s), uintptr_t(s->end()) + slack, nullptr, s});
  }
  std::sort(ranges.begin(), ranges.end(),
            [](const range& a, const range& b) { return a.lo < b.lo; });
}

bool is_live(series_buffer* b) {
  return (b->flags & series_flag::live) && memory::nodes::in_use(b->node) &&
         memory::buffer_of(b->node) == b;
}

void pin_if_covers(series_buffer* b, uintptr_t p, stack_finds& out) {
  if (p >= uintptr_t(b->end()) + slack || !is_live(b)) return;
  if (b->flags & series_flag::pinned) return;
  b->flags |= series_flag::pinned;
  out.pinned.push_back(b);
}

void check_pointer(uintptr_t p, stack_finds& out) {
  if (ranges.empty() || p < ranges.front().lo || p >= ranges.back().hi) return;
  auto it = std::upper_bound(ranges.begin(), ranges.end(), p,
                             [](uintptr_t v, const range& r) { return v < r.lo; });
  if (it == ranges.begin()) return;
  const range& r = *--it;
  if (p >= r.hi) return;
  if (r.big) {
    pin_if_covers(r.big, p, out);
    return;
  }
  series_frame* f = r.frame;
  const uint8_t* at = reinterpret_cast<const uint8_t*>(p);
  series_buffer* b = memory::frames::buffer_at_or_before(f, at < f->bump ? at : f->bump - 8);
  if (!b) return;
  pin_if_covers(b, p, out);
  // Within 16 bytes of a buffer's start, the pointer may be the end of the one before.
  if (p - uintptr_t(b) < slack && reinterpret_cast<uint8_t*>(b) > f->start) {
    series_buffer* a =
        memory::frames::buffer_at_or_before(f, reinterpret_cast<uint8_t*>(b) - 8);
    if (a) pin_if_covers(a, p, out);
  }
}

void check_node(uint32_t v, stack_finds& out) {
  if (v < first_node_id) return;
  uint32_t f = (v - first_node_id) >> memory::nodes::frame_shift;
  if (f >= memory::nodes::frames_end || !memory::nodes::in_use(v)) return;
  memory::nodes::frames[f].on_stack = true;
  out.nodes.push_back(v);
}

// Retired fixed buffers stay allocated while a pointer into them is on the stack.
void check_retired(uintptr_t p) {
  for (series_buffer* b : memory::frames::retired)
    if (p >= uintptr_t(b) && p < uintptr_t(b->end()) + slack) b->flags |= series_flag::pinned;
}

__attribute__((noinline, no_sanitize("address"))) void scan_words(const void* top,
                                                                    stack_finds& out) {
  volatile uintptr_t here = 0;
  uintptr_t lo = uintptr_t(&here) & ~uintptr_t(7);
  uintptr_t hi = uintptr_t(top) & ~uintptr_t(7);
  bool retired = !memory::frames::retired.empty();
  for (uintptr_t w = lo; w < hi; w += 8) {
    uint64_t word;
    __builtin_memcpy(&word, reinterpret_cast<const void*>(w), sizeof word);
    check_node(uint32_t(word), out);
    check_node(uint32_t(word >> 32), out);
    check_pointer(uintptr_t(word), out);
    if (retired) check_retired(uintptr_t(word));
  }
}

__attribute__((noinline)) void scan_with_registers(const void* top, stack_finds& out) {
  __builtin_unwind_init();  // callee-saved registers go to this frame, above the scan's
  scan_words(top, out);
  __asm__ volatile("" ::: "memory");  // keeps this frame (and the spilled registers) alive
}

// Zeroes the stack just below the caller, where the collector's own calls left buffer
// addresses (the range index above holds every big series) that would pin them.
__attribute__((noinline)) void scrub_below() {
  volatile uint8_t area[16384];
  for (auto& b : area) b = 0;
}

}  // namespace

void scan_native_stack(const void* top, stack_finds& out) {
  index_ranges();
  scrub_below();
  scan_with_registers(top, out);
}

}  // namespace kaz::collector::internal

#include "memory/series_frames.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "memory/collector.h"
#include "memory/heap_check.h"
#include "memory/node_frames.h"
#include "memory/os_memory.h"
#include "runtime/fire.h"
#include "runtime/tracked_alloc.h"

namespace kaz::memory::frames {

std::vector<series_frame*> list;
series_frame* current = nullptr;
uint64_t next_frame_size = first_frame_size;
big_series* big_head = nullptr;
uint64_t big_bytes = 0;
std::vector<series_buffer*> fixed;
std::vector<series_buffer*> retired;

namespace {

big_series* big_tail = nullptr;

constexpr uint64_t frame_record_bytes = 64;
static_assert(sizeof(series_frame) <= frame_record_bytes);

uint64_t room(const series_frame* f) { return uint64_t(f->end - f->bump); }

// First frame in address order with room for `need` bytes.
series_frame* find(uint64_t need) {
  for (series_frame* f : list)
    if (room(f) >= need) return f;
  return nullptr;
}

// A frame for `need` bytes when the current one is full: a frame with room, a collection when
// one is due, or a new frame (1 MB first, then 2 MB each).
series_frame* frame_for(uint64_t need) {
  series_frame* f = find(need);
  bool collected = false;
  // Growing the heap is the moment a due collection runs, whether or not some frame still has
  // a little room.
  if ((!f || room(f) < min_room) && collector::detail::due(need)) {
    collector::collect_if_enabled();
    collected = true;
    f = find(need);
  }
  if (!f || room(f) < min_room) {
    series_frame* made = add_frame(need, true);
    if (!made && !collected) {
      collector::collect_if_enabled();
      made = find(need);
    }
    f = made ? made : add_frame(need, false);
  }
  current = f;
  return f;
}

series_buffer* take_big(uint64_t need) {
  if (collector::detail::due(need)) collector::collect_if_enabled();
  uint64_t bytes = sizeof(big_series) + need;
  void* region = os::try_map(bytes);
  if (!region) {
    collector::collect_if_enabled();
    region = os::map(bytes);
  }
  auto* b = new (region) big_series{nullptr, big_tail, os::round_to_pages(bytes), 0};
  if (big_tail)
    big_tail->next = b;
  else
    big_head = b;
  big_tail = b;
  big_bytes += need - header_bytes;
  return b->buffer();
}

}  // namespace

series_frame* add_frame(uint64_t need, bool may_fail) {
  if (need >= next_frame_size) next_frame_size = largest_frame_size;
  uint64_t size = next_frame_size;
  series_frame* f = new_frame(size, may_fail);
  if (f && next_frame_size < largest_frame_size)
    next_frame_size = std::min(next_frame_size * 2, largest_frame_size);
  return f;
}

void clear_starts(series_frame* f) {
  uint64_t bits = uint64_t(f->bump - f->start) >> 3;
  std::memset(f->starts, 0, ((bits + 63) >> 6) * sizeof(uint64_t));
}

series_buffer* buffer_at_or_before(series_frame* f, const uint8_t* at) {
  uint64_t bit = uint64_t(at - f->start) >> 3;
  uint64_t word = bit >> 6;
  uint64_t w = f->starts[word] & (~uint64_t(0) >> (63 - (bit & 63)));
  while (w == 0) {
    if (word == 0) return nullptr;
    w = f->starts[--word];
  }
  uint64_t found = (word << 6) + (63 - uint64_t(__builtin_clzll(w)));
  return reinterpret_cast<series_buffer*>(f->start + (found << 3));
}

series_frame* new_frame(uint64_t data_size, bool may_fail) {
  uint64_t bitmap = ((data_size / 64 + 15) & ~uint64_t(15));
  uint64_t total = frame_record_bytes + bitmap + data_size;
  void* p = may_fail ? os::try_map(total) : os::map(total);
  if (!p) return nullptr;
  auto* base = static_cast<uint8_t*>(p);
  auto* f = new (p) series_frame{};
  f->starts = reinterpret_cast<uint64_t*>(base + frame_record_bytes);
  f->start = base + frame_record_bytes + bitmap;
  f->bump = f->start;
  f->end = f->start + data_size;
  f->map_bytes = os::round_to_pages(total);
  check::hide(f->start, data_size);
  insert_frame(f);
  return f;
}

void insert_frame(series_frame* f) {
  list.insert(std::upper_bound(list.begin(), list.end(), f), f);
}

void free_frame(series_frame* f) {
  list.erase(std::find(list.begin(), list.end(), f));
  if (current == f) current = list.empty() ? nullptr : list.back();
  check::expose(f->start, uint64_t(f->end - f->start));
  os::unmap(f, f->map_bytes);
}

series_buffer* take_slow(uint64_t need) {
  if (collector::detail::torture_left && --collector::detail::torture_left == 0)
    collector::detail::torture_collect();
  if (collector::detail::collecting) __builtin_trap();  // the collector never allocates
  if (need >= largest_frame_size) return take_big(need);
  series_frame* f = current;
  if (!f || room(f) < need) f = frame_for(need);
  uint8_t* p = f->bump;
  f->bump += need;
  mark_start(f, p);
  check::expose(p, need);
  return reinterpret_cast<series_buffer*>(p);
}

series_buffer* take_fixed(uint64_t need) {
  auto* b = static_cast<series_buffer*>(sysrt::alloc(need));
  fixed.push_back(b);
  return b;
}

big_series* big_of(series_buffer* b) { return reinterpret_cast<big_series*>(b) - 1; }

void free_big(big_series* b) {
  if (b->prev)
    b->prev->next = b->next;
  else
    big_head = b->next;
  if (b->next)
    b->next->prev = b->prev;
  else
    big_tail = b->prev;
  big_bytes -= b->buffer()->size;
  os::unmap(b, b->map_bytes);
}

bool move_big(big_series* b) {
  void* region = os::try_map(b->map_bytes);
  if (!region) return false;
  series_buffer* s = b->buffer();
  auto* m = new (region) big_series{b->next, b->prev, b->map_bytes, 0};
  std::memcpy(static_cast<void*>(m->buffer()), s, header_bytes + s->size);
  if (m->prev)
    m->prev->next = m;
  else
    big_head = m;
  if (m->next)
    m->next->prev = m;
  else
    big_tail = m;
  *nodes::slot_of(s->node) = reinterpret_cast<uintptr_t>(m->buffer());
  check::fill(s->data_rw(), s->size, check::freed_byte);
  os::unmap(b, b->map_bytes);
  return true;
}

uint64_t heap_bytes() {
  uint64_t n = big_bytes;
  for (series_frame* f : list) n += uint64_t(f->end - f->start);
  return n;
}

uint64_t used_bytes() {
  uint64_t n = big_bytes;
  for (series_frame* f : list) n += uint64_t(f->bump - f->start);
  return n;
}

}  // namespace kaz::memory::frames

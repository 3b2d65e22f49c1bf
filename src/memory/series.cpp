#include "memory/series.h"

#include <algorithm>
#include <cstring>

#include "memory/collector.h"
#include "memory/heap_check.h"
#include "memory/node_frames.h"
#include "memory/series_frames.h"
#include "runtime/fire.h"
#include "runtime/tracked_alloc.h"

namespace kaz::memory {

namespace detail {
uint32_t stamp_epoch = 0;
}  // namespace detail

namespace {

constexpr uint32_t header_bytes = sizeof(series_buffer);

// Data bytes for count units, checked against the series limit.
uint64_t data_bytes(uint64_t count, uint32_t unit) {
  if (unit == 0 || unit > series_flag::unit_mask) fire(err::internal_no_memory);
  uint64_t size = round16(count * unit);
  if (size > max_series_bytes) fire(err::internal_no_memory);
  return size;
}

// Fills in a fresh buffer's header; offset in units, -1 for head room.
[[gnu::always_inline]] inline void set_header(series_buffer* b, uint64_t size, uint32_t unit,
                                              int64_t offset, uint32_t extra) {
  uint64_t off;
  uint32_t flags = unit | series_flag::live | series_flag::always | extra;
  if (offset < 0) {
    off = size / 2 / unit * unit;  // keeps cells whole
    flags |= series_flag::head_room;
  } else {
    off = std::min(uint64_t(offset) * unit, size);
  }
  b->flags = flags;
  b->node = 0;
  b->size = uint32_t(size);
  b->offset.start(uint32_t(off));
  b->tail.start(uint32_t(off));
  b->stamp = 0;
}

// A buffer of `size` data bytes (already checked) in a frame or a big region. Inline, so that
// each allocator gets it for its own unit and offset.
[[gnu::always_inline]] inline series_buffer* alloc_buffer(uint64_t size, uint32_t unit,
                                                          int64_t offset) {
  uint64_t need = header_bytes + size;
  series_buffer* b = frames::take(need);
  set_header(b, size, unit, offset, need >= frames::largest_frame_size ? series_flag::big : 0);
  return b;
}

series_buffer* alloc_fixed_buffer(uint64_t size, uint32_t unit, int64_t offset) {
  series_buffer* b = frames::take_fixed(header_bytes + size);
  set_header(b, size, unit, offset, series_flag::fixed);
  return b;
}

node_t link_node(series_buffer* b) {
  node_t node = nodes::alloc();
  b->node = node;
  *nodes::slot_of(node) = reinterpret_cast<uintptr_t>(b);
  return node;
}

// Data bytes for a grown buffer: `requested`, or double the old size for 0, never less than
// what is in use.
uint64_t grown_size(const series_buffer* s, uint64_t requested) {
  uint64_t size = requested ? requested : std::max<uint64_t>(uint64_t(s->size) * 2, 16);
  size = std::max<uint64_t>(size, s->used_bytes());
  return data_bytes((size + s->unit() - 1) / s->unit(), s->unit());
}

}  // namespace

void init() {
  nodes::init();
  if (frames::list.empty()) frames::current = frames::add_frame(0, false);
}

void free_all() {
  if (collector::collecting()) return;
  while (!frames::list.empty()) frames::free_frame(frames::list.back());
  while (frames::big_head) frames::free_big(frames::big_head);
  for (series_buffer* b : frames::fixed) sysrt::free(b);
  for (series_buffer* b : frames::retired) sysrt::free(b);
  frames::fixed.clear();
  frames::retired.clear();
  nodes::free_all();
}

bool valid_node(node_t node) { return nodes::in_use(node); }

node_t new_series(uint32_t count, uint32_t unit, int32_t offset) {
  uint64_t size = data_bytes(count, unit);
  if (!detail::node_slots) init();
  return link_node(alloc_buffer(size, unit, offset));
}

node_t alloc_cells(uint32_t count) {
  uint64_t size = data_bytes(count, 16);
  if (!detail::node_slots) init();
  return link_node(alloc_buffer(size, 16, 0));
}

node_t alloc_cells_cleared(uint32_t count) {
  node_t node = new_series(count, 16, 0);
  series_buffer* b = buffer_of(node);
  cell* c = reinterpret_cast<cell*>(b->data_rw());
  for (uint32_t i = 0, n = b->size / 16; i < n; ++i) c[i] = cell{type::unset, 0, 0, 0};
  return node;
}

node_t alloc_bytes(uint32_t count) { return new_series(count ? count : 16, 1, 0); }

node_t alloc_units(uint32_t count, uint32_t unit) {
  if (count == 0) count = unit ? std::max<uint32_t>(16 / unit, 1) : 0;
  return new_series(count, unit, 0);
}

node_t alloc_bytes_filled(uint32_t count, uint8_t byte) {
  node_t node = alloc_bytes(count);
  series_buffer* b = buffer_of(node);
  std::memset(b->data_rw(), byte, b->size);
  return node;
}

node_t alloc_fixed_series(uint32_t count, uint32_t unit, uint32_t offset) {
  uint64_t size = data_bytes(count, unit);
  if (!detail::node_slots) init();
  return link_node(alloc_fixed_buffer(size, unit, offset));
}

void set_series_flags(node_t node, uint32_t bits) { buffer_of(node)->flags |= bits; }

/*
 * Growth: a new buffer takes the node and the old one is left dead (node 0, live bit clear)
 * for the next compaction. The allocation may collect; `s` stays valid meanwhile because it
 * is on the native stack, which pins it, but its node may have been moved, so the node is read
 * from the buffer only after the allocation.
 */
series_buffer* expand_series(series_buffer* s, uint32_t new_size) {
  uint64_t size = grown_size(s, new_size);
  uint32_t unit = s->unit();
  series_buffer* b = (s->flags & series_flag::fixed) ? alloc_fixed_buffer(size, unit, 0)
                                                     : alloc_buffer(size, unit, 0);
  b->flags = (s->flags & ~series_flag::big) | (b->flags & series_flag::big);
  b->tail = s->used_bytes();
  b->stamp = s->stamp;  // the node's stamps go on from the old buffer's
  b->renew_stamp();
  b->node = s->node;
  if (b->node) *nodes::slot_of(b->node) = reinterpret_cast<uintptr_t>(b);
  s->node = 0;
  s->flags &= ~series_flag::live;
  if (s->flags & series_flag::fixed) {
    auto& fixed = frames::fixed;
    fixed.erase(std::find(fixed.begin(), fixed.end(), s));
    frames::retired.push_back(s);
  }
  return b;
}

series_buffer* expand_series_copy(series_buffer* s, uint32_t new_size) {
  series_buffer* b = expand_series(s, new_size);
  std::memcpy(b->head_rw(), s->head(), s->used_bytes());
  check::fill(s->data_rw(), s->size, check::abandoned_byte);
  return b;
}

series_buffer* expand_series_fill(series_buffer* s, uint32_t new_size, uint8_t byte) {
  uint32_t old_size = s->size;
  series_buffer* b = expand_series_copy(s, new_size);
  if (b->offset + uint64_t(old_size) < b->size)
    std::memset(b->head_rw() + old_size, byte, b->size - b->offset - old_size);
  return b;
}

node_t copy_series(series_buffer* s) {
  uint32_t unit = s->unit();
  node_t node = new_series(s->size / unit, unit, 0);
  series_buffer* b = buffer_of(node);
  uint32_t used = s->used_bytes();
  b->flags = (s->flags & ~(series_flag::big | series_flag::fixed)) | (b->flags & series_flag::big);
  std::memcpy(b->data_rw(), s->head(), used);
  b->tail = b->offset + used;
  return node;
}

node_t copy_part(series_buffer* s, uint32_t index, uint32_t length) {
  uint32_t unit = s->unit();
  uint32_t have = s->length();
  index = std::min(index, have);
  length = std::min(length, have - index);
  node_t node = new_series(length, unit, 0);
  series_buffer* b = buffer_of(node);
  b->flags = (s->flags & ~(series_flag::big | series_flag::fixed | series_flag::owned |
                           series_flag::head_room)) |
             (b->flags & series_flag::big);
  std::memcpy(b->data_rw(), s->head() + uint64_t(index) * unit, uint64_t(length) * unit);
  b->tail = b->offset + length * unit;
  return node;
}

series_buffer* reserve_tail(series_buffer* s, uint32_t n) {
  if (uint64_t(s->tail) + n > s->size) {
    uint64_t size = n > s->size ? uint64_t(n) * 2 : uint64_t(s->size) * 2;
    if (size > max_series_bytes) size = uint64_t(s->tail) + n;  // the last growth a series gets
    if (size > max_series_bytes) fire(err::internal_no_memory);
    s = expand_series_copy(s, uint32_t(size));
  }
  s->tail += n;
  return s;
}

cell* append_cell_growing(node_t node) {
  series_buffer* s = buffer_of(node);
  if (uint64_t(s->tail) + sizeof(cell) > s->size) s = reserve_tail(s, 0), s = expand_series_copy(s, 0);
  cell* c = s->cells_tail_rw();
  c->header = type::unset;
  s->tail += sizeof(cell);
  return c;
}

}  // namespace kaz::memory

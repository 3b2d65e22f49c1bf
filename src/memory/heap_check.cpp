#include "memory/heap_check.h"

#include <cstdio>
#include <cstdlib>

#include "memory/node_frames.h"
#include "memory/series_frames.h"

namespace kaz::memory::check {

namespace {

bool from_environment() {
#ifdef KAZ_ASAN
  return true;
#else
  const char* v = std::getenv("KAZ_GC_VERIFY");
  return v && v[0] == '1';
#endif
}

bool verify_on = from_environment();

bool poison_from_environment() {
  const char* v = std::getenv("KAZ_GC_POISON");
  return verify_on || (v && v[0] == '1');
}


[[noreturn]] void fail(const char* what, const void* where, uint64_t value) {
  std::fprintf(stderr, "*** heap verifier: %s at %p (%llu)\n", what, where,
               static_cast<unsigned long long>(value));
  std::abort();
}

bool bit_set(const frames::series_frame* f, const uint8_t* at) {
  uint64_t bit = uint64_t(at - f->start) >> 3;
  return (f->starts[bit >> 6] >> (bit & 63)) & 1;
}

// A node word of a reachable cell is 0 or a node in use.
void check_node_word(uint32_t n, const cell* c) {
  if (n && !nodes::in_use(n)) fail("cell refers to a node not in use", c, n);
}

void check_cells(series_buffer* b) {
  for (const cell* c = b->cells(); c < b->cells_tail(); ++c) {
    uint32_t t = type_of(c);
    if (is_any_block(t) || is_any_string(t) || t == type::binary || t == type::vector ||
        t == type::bitset || t == type::map) {
      check_node_word(c->data2, c);
      if (is_any_string(t)) check_node_word(c->data3, c);
    }
  }
}

// A buffer holding a node: header sane, node pointing back, no collector bits left.
void check_live(series_buffer* b) {
  uint32_t unit = b->unit();
  if (unit == 0 || unit > 16) fail("bad unit", b, unit);
  if (b->size % 16) fail("size not a multiple of 16", b, b->size);
  if (b->offset > b->tail || b->tail > b->size) fail("offset or tail outside data", b, b->tail);
  if (b->flags & (series_flag::mark | series_flag::pinned)) fail("mark left set", b, b->flags);
  if (!nodes::in_use(b->node) || buffer_of(b->node) != b) fail("node does not point back", b, b->node);
  // Fixed series (the evaluation stacks) are marked by their owners, not through their cells.
  if (unit == 16 && !(b->flags & series_flag::fixed)) check_cells(b);
}

uint64_t verify_frames() {
  uint64_t live = 0;
  for (size_t i = 0; i < frames::list.size(); ++i) {
    frames::series_frame* f = frames::list[i];
    if (i && frames::list[i - 1] >= f) fail("frame list out of order", f, i);
    if (f->bump < f->start || f->bump > f->end) fail("bump outside frame", f, 0);
    uint64_t buffers = 0;
    for (uint8_t* p = f->start; p < f->bump;) {
      auto* b = reinterpret_cast<series_buffer*>(p);
      if (!(b->flags & series_flag::always)) fail("not a buffer header", b, b->flags);
      if (!bit_set(f, p)) fail("start bit missing", b, 0);
      if (p + frames::occupied(b) > f->bump) fail("buffer runs past bump", b, b->size);
      if (b->flags & series_flag::live) {
        check_live(b);
        ++live;
      }
      ++buffers;
      p += frames::occupied(b);
    }
    uint64_t bits = 0;
    uint64_t words = ((uint64_t(f->bump - f->start) >> 3) + 63) >> 6;
    for (uint64_t w = 0; w < words; ++w) bits += uint64_t(__builtin_popcountll(f->starts[w]));
    if (bits != buffers) fail("stray start bits", f, bits);
  }
  return live;
}

uint64_t verify_others() {
  uint64_t live = 0;
  for (frames::big_series* b = frames::big_head; b; b = b->next) {
    if (b->next && b->next->prev != b) fail("big series list broken", b, 0);
    if (!(b->buffer()->flags & series_flag::big)) fail("big flag missing", b, 0);
    check_live(b->buffer());
    ++live;
  }
  for (series_buffer* b : frames::fixed) {
    check_live(b);
    ++live;
  }
  return live;
}

uint64_t verify_nodes() {
  uint64_t used_total = 0;
  for (uint32_t f = 0; f < nodes::frames_end; ++f) {
    const nodes::node_frame& fr = nodes::frames[f];
    if (!fr.in_use) continue;
    uint32_t used = 0, free = 0;
    for (uint32_t s = 0; s < nodes::frame_capacity; ++s) {
      node_t n = nodes::node_at(f, s);
      uintptr_t v = *nodes::slot_of(n);
      if (v & nodes::free_tag) continue;
      if ((v & nodes::tag_mask) != 0) fail("forward left in a node slot", nodes::slot_of(n), v);
      ++used;
      auto* b = reinterpret_cast<series_buffer*>(v);
      if (b && (b->node != n || !(b->flags & series_flag::live)))
        fail("node names a dead buffer", b, n);
    }
    for (uint32_t s = fr.free_head; s != nodes::no_slot; ++free) {
      if (s >= nodes::frame_capacity || free > nodes::frame_capacity)
        fail("node free list broken", &fr, s);
      s = uint32_t(*nodes::slot_of(nodes::node_at(f, s)) >> 1);
    }
    if (used != fr.used) fail("node frame used count wrong", &fr, used);
    if (!fr.release && free != nodes::frame_capacity - used) fail("free list length wrong", &fr, free);
    used_total += used;
  }
  return used_total;
}

}  // namespace

bool poison_on = poison_from_environment();

bool verifying() { return verify_on; }
void set_verifying(bool on) {
  verify_on = on;
  if (on) poison_on = true;
}

bool poisoning() { return poison_on; }
void set_poisoning(bool on) { poison_on = on; }

void verify_heap() {
  uint64_t live = verify_frames() + verify_others();
  uint64_t used = verify_nodes();
  // Every node in use names a live buffer, and every live buffer has its node.
  if (used < live) fail("live buffers without nodes", nullptr, live - used);
}

}  // namespace kaz::memory::check

#include "memory/node_frames.h"

#include <algorithm>

#include "memory/collector.h"
#include "memory/os_memory.h"
#include "runtime/fire.h"

namespace kaz::memory {
namespace detail {
uintptr_t* node_slots = nullptr;
}

namespace nodes {

node_frame frames[max_frames];
uint32_t frames_end = 0;
uint32_t current = 0;
uint32_t frames_reserved = 0;  // frames whose slots the reserved table can hold

namespace {

constexpr uint64_t frame_bytes = uint64_t(frame_capacity) * sizeof(uintptr_t);

uintptr_t* frame_slots(uint32_t f) { return detail::node_slots + (uint64_t(f) << frame_shift); }

// Makes the lowest unused frame, all its slots free in address order.
uint32_t new_frame() {
  uint32_t f = 0;
  while (f < frames_reserved && frames[f].in_use) ++f;
  if (f == frames_reserved) fire(err::internal_no_memory);
  uintptr_t* slots = frame_slots(f);
  if (!os::commit(slots, frame_bytes)) fire(err::internal_no_memory);
  for (uint32_t s = 0; s < frame_capacity; ++s)
    slots[s] = (uintptr_t(s + 1 < frame_capacity ? s + 1 : no_slot) << 1) | free_tag;
  frames[f] = node_frame{0, 0, collector::stats().cycles, 0, 0, true, false, false, false};
  if (f >= frames_end) frames_end = f + 1;
  return f;
}

void release_frame(uint32_t f) {
  os::decommit(frame_slots(f), frame_bytes);
  frames[f] = node_frame{no_slot, 0, 0, 0, 0, false, false, false, false};
  while (frames_end > 0 && !frames[frames_end - 1].in_use) --frames_end;
}

bool takes_nodes(uint32_t f) {
  return frames[f].in_use && !frames[f].release && frames[f].free_head != no_slot;
}

}  // namespace

void init() {
  if (detail::node_slots) return;
  // The whole id space when the address space allows it, else as much as it gives.
  void* table = nullptr;
  for (uint32_t n = max_frames; n >= 1 && !table; n /= 2) {
    table = os::reserve(uint64_t(n) << frame_shift << 3);
    if (table) frames_reserved = n;
  }
  if (!table) fire(err::internal_no_memory);
  detail::node_slots = static_cast<uintptr_t*>(table);
  // The frame records stay as the program image gives them (zero): only made frames are read,
  // and making one sets its record, so the table's pages are touched as frames are made.
  current = new_frame();
}

node_t alloc_slow() {
  if (!detail::node_slots) init();
  uint32_t f = 0;
  while (f < frames_end && !takes_nodes(f)) ++f;
  current = f < frames_end ? f : new_frame();
  return alloc();
}

void free(node_t n) {
  uint32_t i = index_of(n);
  node_frame& f = frames[i >> frame_shift];
  detail::node_slots[i] = (uintptr_t(f.free_head) << 1) | free_tag;
  f.free_head = i & (frame_stride - 1);
  --f.used;
}

uint64_t free_slots() {
  uint64_t n = 0;
  for (uint32_t f = 0; f < frames_end; ++f)
    if (frames[f].in_use && !frames[f].release) n += frame_capacity - frames[f].used;
  return n;
}

uint64_t used_slots() {
  uint64_t n = 0;
  for (uint32_t f = 0; f < frames_end; ++f)
    if (frames[f].in_use) n += frames[f].used;
  return n;
}

/*
 * Node frames that stayed quiet (used count unchanged over the last `quiet_bits` collections)
 * and are less than half full are emptied into the other frames while free slots are plenty,
 * so that the frame can be given back. Each moved slot is left holding a forward to its new
 * node; marking rewrites every reference it meets (collector::mark_node), and the frame is
 * released at the end of the collection. A frame holding a node seen on the native stack is
 * never emptied: node ids held by C++ code do not change.
 */
bool compact(uint32_t quiet_bits) {
  uint32_t first = 0;
  while (first < frames_end && !takes_nodes(first)) ++first;
  if (first == frames_end) return false;
  current = first;
  uint64_t free = free_slots();
  uint32_t quiet_mask = (1u << quiet_bits) - 1;
  bool moved = false;
  for (uint32_t f = frames_end; f-- > 0;) {
    node_frame& fr = frames[f];
    if (!fr.in_use || fr.release || fr.on_stack || fr.target || f == current) continue;
    if ((fr.history & quiet_mask) != quiet_mask || fr.used >= frame_capacity / 2 ||
        free <= frame_capacity)
      continue;
    // The other frames' free slots (free less this frame's own) always exceed its used ones.
    fr.free_head = no_slot;  // takes no new nodes from here on
    fr.release = true;
    uintptr_t* slots = frame_slots(f);
    for (uint32_t s = 0; s < frame_capacity; ++s) {
      uintptr_t v = slots[s];
      if (v == 0 || (v & tag_mask) != 0) continue;
      if (!takes_nodes(current)) {
        uint32_t t = 0;
        while (t < frames_end && !takes_nodes(t)) ++t;
        if (t == frames_end) {  // cannot happen (see above); keep the rest where they are
          fr.release = false;
          break;
        }
        current = t;
      }
      frames[current].target = true;
      node_t to = alloc();
      *slot_of(to) = v;
      reinterpret_cast<series_buffer*>(v)->node = to;
      slots[s] = (uintptr_t(to) << 3) | forward_tag;
      --fr.used;
    }
    free -= frame_capacity;
    moved = true;
  }
  return moved;
}

void free_all() {
  for (uint32_t f = frames_end; f-- > 0;)
    if (frames[f].in_use) release_frame(f);
  current = 0;
}

/*
 * Emptied frames go back to the system. Empty ones go back too, but only while the other
 * frames keep free slots for as many nodes as were in use when the collection began, twice
 * the nodes still in use, and two frames' worth at least: a program that makes and drops
 * nodes at a steady rate reuses its frames instead of making them anew every collection.
 */
void after_collection(uint64_t used_before) {
  uint64_t used = 0, free = 0;
  for (uint32_t f = 0; f < frames_end; ++f)
    if (frames[f].in_use && !frames[f].release) {
      used += frames[f].used;
      free += frame_capacity - frames[f].used;
    }
  uint64_t keep_free = std::max({2 * uint64_t(frame_capacity), 2 * used, used_before});
  for (uint32_t f = frames_end; f-- > 0;) {
    node_frame& fr = frames[f];
    if (!fr.in_use) continue;
    if (fr.release || (fr.used == 0 && free - frame_capacity >= keep_free)) {
      if (!fr.release) free -= frame_capacity;
      release_frame(f);
      continue;
    }
    fr.history = (fr.history << 1) | (fr.used == fr.used_at_last ? 1u : 0u);
    fr.used_at_last = fr.used;
    fr.on_stack = fr.target = false;
  }
  // With no frame taking nodes, current names a full or unused frame and the next
  // allocation makes a new one (never during the collection).
  uint32_t f = 0;
  while (f < frames_end && !takes_nodes(f)) ++f;
  current = f < frames_end ? f : 0;
}

}  // namespace nodes
}  // namespace kaz::memory

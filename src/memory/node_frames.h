// Node frames: the fixed slots through which cells reach series buffers.
#pragma once

#include <cstdint>

#include "memory/series.h"

namespace kaz::memory::nodes {

/*
 * Node ids index one reserved array of slot words (detail::node_slots), cut into frames of
 * frame_stride ids of which the first frame_capacity are used. The array never moves, so a
 * node id reaches its buffer with one read. A slot word is one of:
 *   0                          taken, no buffer yet;
 *   a buffer address           in use (8-byte aligned, low three bits clear);
 *   (next free slot << 1) | 1  free, linked within its frame;
 *   (new node << 3) | 2        moved to another slot during the current collection.
 * Frames are committed when made and decommitted when released, so a stale id into a
 * released frame faults instead of reading garbage.
 */
constexpr uint32_t frame_shift = 14;
constexpr uint32_t frame_stride = 1u << frame_shift;
constexpr uint32_t frame_capacity = 10000;
constexpr uint32_t max_frames = 8192;
constexpr uint32_t no_slot = frame_stride;

constexpr uintptr_t free_tag = 1;
constexpr uintptr_t forward_tag = 2;
constexpr uintptr_t tag_mask = 7;

struct node_frame {
  uint32_t free_head;     // first free slot, no_slot when none or released (0: never made)
  uint32_t used;          // slots in use
  uint32_t born;          // collections run when it was made
  uint32_t used_at_last;  // used count seen by the previous collection
  uint32_t history;       // bit 0: used count unchanged at the last collection; older bits above
  bool in_use;            // committed and part of the table
  bool release;           // emptied by the collector; released at the end of the collection
  bool on_stack;          // one of its nodes was found on the native stack this collection
  bool target;            // received moved nodes this collection
};

extern node_frame frames[max_frames];
extern uint32_t frames_end;  // no frame at or above this index is in use
extern uint32_t current;     // where new nodes come from

void init();

inline uint32_t index_of(node_t n) { return n - first_node_id; }
inline node_t node_at(uint32_t frame, uint32_t slot) {
  return first_node_id + (frame << frame_shift) + slot;
}
inline uintptr_t* slot_of(node_t n) { return detail::node_slots + index_of(n); }

// True when the id lies in a committed frame's used range (its slot word can be read).
inline bool in_table(node_t n) {
  uint32_t i = n - first_node_id;
  uint32_t f = i >> frame_shift;
  return n >= first_node_id && f < frames_end && frames[f].in_use &&
         (i & (frame_stride - 1)) < frame_capacity;
}

// True when the id names a slot that holds a buffer.
inline bool in_use(node_t n) {
  if (!in_table(n)) return false;
  uintptr_t v = *slot_of(n);
  return v != 0 && (v & tag_mask) == 0;
}

node_t alloc_slow();

// A fresh node whose slot holds 0.
inline node_t alloc() {
  node_frame& f = frames[current];
  if (f.free_head != no_slot) {
    uint32_t s = f.free_head;
    uintptr_t* slot = detail::node_slots + (current << frame_shift) + s;
    f.free_head = uint32_t(*slot >> 1);
    *slot = 0;
    ++f.used;
    return node_at(current, s);
  }
  return alloc_slow();
}

// Returns a node to its frame's free list.
void free(node_t n);

// The node a moved node now lives at (the node itself when it did not move).
inline node_t forwarded(node_t n) {
  while (in_table(n)) {
    uintptr_t v = *slot_of(n);
    if ((v & tag_mask) != forward_tag) break;
    n = node_t(v >> 3);
  }
  return n;
}

// Slots free in frames that take new nodes.
uint64_t free_slots();

// Empties quiet, sparse frames into others (see node_frames.cpp); answers whether any moved.
bool compact(uint32_t quiet_bits);

// End of a collection: releases emptied and spare empty frames, updates use histories.
void after_collection(uint64_t used_before);

// Slots in use in all frames.
uint64_t used_slots();

// Releases every frame (the exit path).
void free_all();

}  // namespace kaz::memory::nodes

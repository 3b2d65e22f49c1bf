// Series frames and big series: where series buffers live.
#pragma once

#include <cstdint>
#include <vector>

#include "memory/collector.h"
#include "memory/heap_check.h"
#include "memory/series.h"

namespace kaz::memory::frames {

/*
 * A series frame is one mapping: this record, the start bitmap, then the data area. Buffers
 * are laid end to end from the data start up to the bump pointer, each taking its header, its
 * data area and nothing more, so the next header is at data() + size. Data areas are multiples
 * of 16 bytes, so every buffer starts 8-byte aligned; the start bitmap has one bit per 8 bytes
 * of the data area, set where a buffer (or a filler left by compaction) starts. It lets the
 * native-stack scan find the buffer behind an interior pointer.
 */
struct series_frame {
  uint8_t* start;     // data area
  uint8_t* bump;      // next free byte
  uint8_t* end;       // past the data area
  uint64_t* starts;   // start bitmap
  uint64_t map_bytes; // size of the whole mapping
};

// Buffers of this many bytes and more (header included) get a region of their own.
constexpr uint64_t largest_frame_size = 2 * 1024 * 1024;
constexpr uint64_t first_frame_size = 1024 * 1024;
// A frame with less room than this takes no more buffers until a collection.
constexpr uint64_t min_room = 52428;
constexpr uint64_t header_bytes = sizeof(series_buffer);

// A big series: this record, then the buffer header and its data.
struct big_series {
  big_series* next;
  big_series* prev;
  uint64_t map_bytes;
  uint64_t pad;
  series_buffer* buffer() { return reinterpret_cast<series_buffer*>(this + 1); }
};

extern std::vector<series_frame*> list;  // sorted by address
extern series_frame* current;            // where bump allocation happens
extern uint64_t next_frame_size;
extern big_series* big_head;
extern uint64_t big_bytes;  // data bytes of all big series

// Fixed series come from the C++ heap, never move and are never collected. A fixed series that
// grows gets a new fixed buffer; the old one is retired and freed by the first collection that
// finds no pointer into it on the native stack.
extern std::vector<series_buffer*> fixed;
extern std::vector<series_buffer*> retired;
series_buffer* take_fixed(uint64_t need);

inline uint64_t occupied(const series_buffer* b) { return header_bytes + b->size; }
inline series_buffer* next_buffer(series_buffer* b) {
  return reinterpret_cast<series_buffer*>(reinterpret_cast<uint8_t*>(b) + occupied(b));
}

inline void mark_start(series_frame* f, const void* at) {
  uint64_t bit = uint64_t(static_cast<const uint8_t*>(at) - f->start) >> 3;
  f->starts[bit >> 6] |= uint64_t(1) << (bit & 63);
}
void clear_starts(series_frame* f);

// The buffer starting at or before `at` (which lies in [start, bump)) by the start bitmap.
series_buffer* buffer_at_or_before(series_frame* f, const uint8_t* at);

// Takes `need` bytes (a buffer header and data area) from a frame or a big region; may
// collect. Big regions answer their buffer with the big flag set in its flags.
series_buffer* take_slow(uint64_t need);
// Inline: a bump in the current frame when it has room (and no torture collection is counted).
inline series_buffer* take(uint64_t need) {
  series_frame* f = current;
  if (f && !collector::detail::torture_left && !collector::detail::collecting &&
      need < largest_frame_size && uint64_t(f->end - f->bump) >= need) {
    uint8_t* p = f->bump;
    f->bump += need;
    mark_start(f, p);
    check::expose(p, need);
    return reinterpret_cast<series_buffer*>(p);
  }
  return take_slow(need);
}

// A frame for at least `need` bytes: 1 MB for the first, 2 MB from the second on.
series_frame* add_frame(uint64_t need, bool may_fail);
series_frame* new_frame(uint64_t data_size, bool may_fail);
void free_frame(series_frame* f);  // unmaps and removes it from the list
void insert_frame(series_frame* f);

void free_big(big_series* b);
// Copies a big series to a new region and frees the old one (torture); false when no memory.
bool move_big(big_series* b);
big_series* big_of(series_buffer* b);

// Bytes of all frames' data areas and big series, and of their used parts.
uint64_t heap_bytes();
uint64_t used_bytes();

}  // namespace kaz::memory::frames

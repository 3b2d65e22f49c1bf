// Series memory: nodes and series buffers, the primitives every datatype builds on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace kaz {

// A node id names one series buffer for its whole life, while the collector moves the buffer.
// Ids start at 0x10000, so small integers never look like one; 0 means "no node".
using node_t = uint32_t;
constexpr node_t first_node_id = 0x10000;

// Flag bits of a series buffer (the low five bits hold the unit size).
namespace series_flag {
constexpr uint32_t unit_mask = 0x1F;
constexpr uint32_t live = 0x80000000;       // cleared on a buffer left behind by growth
constexpr uint32_t always = 0x20000000;     // set on every buffer
constexpr uint32_t head_room = 0x10000000;  // made with offset in the middle of the data area
constexpr uint32_t mark = 0x08000000;       // collector mark
constexpr uint32_t pinned = 0x04000000;     // found on the native stack: stays put this collection
constexpr uint32_t record = 0x02000000;     // holds node ids of its own (collector record hook)
constexpr uint32_t big = 0x01000000;        // lives in a region of its own
constexpr uint32_t context = 0x00400000;    // the buffer holds a context
constexpr uint32_t fixed = 0x00100000;      // never moves, never collected
constexpr uint32_t complement = 0x00080000; // bitset! complement
constexpr uint32_t library = 0x00040000;    // code of the library (errors keep the user's Near)
constexpr uint32_t owned = 0x00020000;      // owned by a reactive object
constexpr uint32_t weak = 0x00010000;       // values marked through the weak marker
}  // namespace series_flag

namespace memory::detail {
extern uint32_t stamp_epoch;  // memory/series.cpp
}  // namespace memory::detail

namespace memory {
// Changes each time some buffer's stamp wraps around: stamps kept from before are stale.
inline uint32_t stamp_epoch() { return detail::stamp_epoch; }
}  // namespace memory

struct series_buffer;

// A header field holding one bound of the used part: reads as a uint32_t, and every change of
// it renews the stamp of the buffer it lies in (it is never copied out as itself).
template <unsigned Position>
class series_bound {
 public:
  series_bound() = default;
  series_bound(const series_bound&) = delete;
  operator uint32_t() const { return value_; }
  series_bound& operator=(uint32_t v) {
    value_ = v;
    renew();
    return *this;
  }
  series_bound& operator=(const series_bound& other) { return *this = uint32_t(other); }
  series_bound& operator+=(uint32_t v) { return *this = value_ + v; }
  series_bound& operator-=(uint32_t v) { return *this = value_ - v; }
  // Sets the bound of a header being filled in, whose stamp is not written yet: renewing it
  // would read fresh memory first, and a page read before it is written faults twice.
  void start(uint32_t v) { value_ = v; }

 private:
  inline void renew();
  uint32_t value_;
};

/*
 * A series buffer: this header, then `size` bytes of data. Offset and tail are byte offsets from
 * the start of the data area, never addresses, so a buffer can be moved by one memmove. The used
 * part is [offset, tail); its length in units is (tail - offset) / unit.
 *
 * The stamp counts the writes: data is read through the const accessors, and the `_rw` ones,
 * which hand out writable pointers, renew the stamp (as does any change of offset or tail).
 * Growth carries it on to the node's new buffer, so the stamps a node shows never repeat
 * between two collections (barring a wrap, which changes the stamp epoch): what is derived
 * from a node's contents stays valid while its stamp does, until a collection, which may free
 * nodes, give their ids to others or renumber them. A pointer from a `_rw` accessor is used
 * for the writes at hand, never kept across code that may look at the stamp (an evaluation).
 */
struct series_buffer {
  uint32_t flags;
  node_t node;                  // the node that points at this buffer; 0 once replaced by growth
  uint32_t size;                // bytes of the data area, a multiple of 16
  series_bound<12> offset;      // first used byte
  series_bound<16> tail;        // past the last used byte
  uint32_t stamp;               // modification stamp (also keeps the data area 8-byte aligned)

  uint32_t unit() const { return flags & series_flag::unit_mask; }
  uint32_t used_bytes() const { return tail - offset; }
  uint32_t length() const { return (tail - offset) / unit(); }
  // The same for a buffer of cells, without the division by a unit read at run time.
  uint32_t cell_count() const { return (tail - offset) / sizeof(cell); }

  const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(this + 1); }
  const uint8_t* head() const { return data() + offset; }
  const uint8_t* tail_ptr() const { return data() + tail; }
  const uint8_t* end() const { return data() + size; }
  const cell* cells() const { return reinterpret_cast<const cell*>(head()); }
  const cell* cells_tail() const { return reinterpret_cast<const cell*>(tail_ptr()); }

  void renew_stamp() {
    if (++stamp == 0) [[unlikely]] ++memory::detail::stamp_epoch;
  }
  uint8_t* data_rw() {
    renew_stamp();
    return reinterpret_cast<uint8_t*>(this + 1);
  }
  uint8_t* head_rw() { return data_rw() + offset; }
  uint8_t* tail_rw() { return data_rw() + tail; }
  uint8_t* end_rw() { return data_rw() + size; }
  cell* cells_rw() { return reinterpret_cast<cell*>(head_rw()); }
  cell* cells_tail_rw() { return reinterpret_cast<cell*>(tail_rw()); }
};
static_assert(sizeof(series_buffer) == 24, "buffer header is six words");

template <unsigned Position>
inline void series_bound<Position>::renew() {
  reinterpret_cast<series_buffer*>(reinterpret_cast<uint8_t*>(this) - Position)->renew_stamp();
}
static_assert(offsetof(series_buffer, offset) == 12 && offsetof(series_buffer, tail) == 16,
              "bounds know where they lie");

namespace memory {

namespace detail {
extern uintptr_t* node_slots;  // one word per node id from first_node_id (node_frames.h)
}

// The buffer behind a node: O(1), one table read. The answer is valid until the next call that
// can allocate (see the rules for C++ code in DESIGN.md).
inline series_buffer* buffer_of(node_t node) {
  return reinterpret_cast<series_buffer*>(detail::node_slots[node - first_node_id]);
}

// True when the id names a node in use (a live series).
bool valid_node(node_t node);

// Sets up the node table and the first frames; allocation does it on first use too.
void init();
// Gives every frame and big series back (the exit path); no series may be used afterwards.
void free_all();

// Largest number of bytes one series may hold; bigger requests raise internal no-memory.
constexpr uint64_t max_series_bytes = uint64_t(1) << 31;

// New series of `count` units of `unit` bytes (1, 2, 4 or 16); `offset` is the start of the used
// part in units, or -1 for head room (offset and tail in the middle of the data area).
node_t new_series(uint32_t count, uint32_t unit, int32_t offset);
node_t alloc_cells(uint32_t count);          // empty block buffer with room for count cells
node_t alloc_cells_cleared(uint32_t count);  // the same, every cell of the data area unset!
node_t alloc_bytes(uint32_t count);          // empty byte buffer (room for 16 when count is 0)
node_t alloc_units(uint32_t count, uint32_t unit);  // count 0 asks for 16 bytes' worth
node_t alloc_bytes_filled(uint32_t count, uint8_t byte);  // every data byte set
node_t alloc_fixed_series(uint32_t count, uint32_t unit, uint32_t offset);  // never moves

void set_series_flags(node_t node, uint32_t bits);

// Growth: a new buffer of `new_size` bytes (0 doubles) takes the node; the old one is left dead.
series_buffer* expand_series(series_buffer* s, uint32_t new_size);
series_buffer* expand_series_copy(series_buffer* s, uint32_t new_size);
series_buffer* expand_series_fill(series_buffer* s, uint32_t new_size, uint8_t byte);

node_t copy_series(series_buffer* s);  // same size, flags, used bytes
node_t copy_part(series_buffer* s, uint32_t index, uint32_t length);  // units, owned bit cleared

// Makes room for n more bytes at the tail (growing when needed) and moves the tail past them.
// Answers the buffer (possibly a new one); the old tail is at tail - n.
series_buffer* reserve_tail(series_buffer* s, uint32_t n);

// Appends one cell (header unset!, payload not written) at the tail, growing when full.
cell* append_cell_growing(node_t node);
inline cell* append_cell(node_t node) {
  series_buffer* s = buffer_of(node);
  if (uint64_t(s->tail) + sizeof(cell) > s->size) return append_cell_growing(node);
  cell* c = s->cells_tail_rw();
  c->header = type::unset;
  s->tail += sizeof(cell);
  return c;
}
// The same on the block a cell refers to (its node in word 2).
inline cell* append_to_block(const cell* block) { return append_cell(block->data2); }

// Data areas are multiples of 16 bytes.
inline uint64_t round16(uint64_t n) { return (n + 15) & ~uint64_t(15); }

}  // namespace memory
}  // namespace kaz

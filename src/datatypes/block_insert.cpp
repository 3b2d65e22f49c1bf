// block! insertion: insert and append (one implementation), change.
#include <algorithm>
#include <cstring>

#include "core/block_storage.h"
#include "core/stack.h"
#include "datatypes/block_actions.h"
#include "datatypes/series_common.h"
#include "runtime/fire.h"

namespace kaz::block_type {

namespace {

// What is inserted: the value's cells from its head (a block without /only), or the value.
struct source {
  cell value;
  bool sequence;
  uint32_t count;
  cell* held = nullptr;  // a copy on the stack when the value shares the target's buffer

  source(const cell* v, bool only) : value(*v) {
    sequence = !only && is_any_block(type_of(&value));
    count = sequence ? block::length_from_head(&value) : 1;
  }

  // A value taken from the target's own buffer is copied first: the insertion moves its cells.
  void detach_from(const cell* target) {
    if (!sequence || value.data2 != target->data2 || count == 0) return;
    held = block::copy_cells(&value, false, false);
    value = *held;
  }
  ~source() {
    if (held) stack::top = held;
  }

  // After code ran (an owner's handler), the value may hold fewer cells.
  uint32_t available(uint32_t n) const {
    return sequence ? std::min(n, block::length_from_head(&value)) : n;
  }

  // Copies `n` cells of the value (n <= count) to `to`, then repeats them until `total` cells.
  void write(cell* to, uint32_t n, uint64_t total) const {
    if (sequence)
      std::memcpy(to, block::buffer_of(&value)->cells() + value.data1, size_t(n) * 16);
    else
      *to = value;
    // Repeat by doubling the part already written.
    uint64_t filled = n;
    while (filled < total) {
      uint64_t more = std::min(filled, total - filled);
      std::memcpy(to + filled, to, size_t(more) * 16);
      filled += more;
    }
  }
};

// Cells a series may hold: 2^27, and its bytes must fit the series limit.
constexpr uint64_t max_inserted = 0x8000000;

void check_size(uint64_t inserted, uint64_t new_length) {
  if (inserted >= max_inserted || new_length * 16 > memory::max_series_bytes)
    fire(err::internal_no_memory);
}

// Makes room for `length` cells; `spare` doubles the room (inserting a few cells at a time).
series_buffer* room_for(const cell* series, uint64_t length, bool spare) {
  series_buffer* s = block::buffer_of(series);
  uint64_t need = length * 16;
  if (s->offset + need <= s->size) return s;
  uint64_t want = spare ? std::min<uint64_t>(need * 2, memory::max_series_bytes) : need;
  return memory::expand_series_copy(s, static_cast<uint32_t>(want));
}

}  // namespace

/*
 * insert and append: `part` cells of the value (all of them when part is -1 or larger), `dup`
 * times, at the head or at the tail. insert answers the position after the inserted cells,
 * append the head; a value with no cells changes nothing and answers the series as it was.
 */
cell* insert(cell* series, cell* value, int32_t part, bool only, int32_t dup, bool append) {
  source src(value, only);
  if (src.count == 0 || part == 0 || dup < 1) return series;
  uint32_t n = part < 0 || static_cast<uint32_t>(part) > src.count ? src.count
                                                                   : static_cast<uint32_t>(part);
  uint64_t total = uint64_t(n) * static_cast<uint32_t>(dup);
  uint32_t len = block::absolute_length(series);
  check_size(total, len + total);
  if (series->data1 > len) series->data1 = len;
  uint32_t at = append ? len : series->data1;
  src.detach_from(series);
  series::change what = append ? series::change::append : series::change::insert;
  bool owned = series::owned_before(series, what, &src.value, static_cast<int32_t>(at),
                                    static_cast<int32_t>(total));
  len = block::absolute_length(series);  // an owner's handler may have run code
  at = std::min(at, len);
  if (src.available(n) < n) total = uint64_t(n = src.available(n)) * static_cast<uint32_t>(dup);
  series_buffer* s = room_for(series, len + total, dup < 5);
  cell* pos = s->cells_rw() + at;
  std::memmove(pos + total, pos, size_t(len - at) * 16);
  src.write(pos, n, total);
  s->tail += static_cast<uint32_t>(total * 16);
  if (at == len)
    block::hash_appended(series, at);
  else
    block::hash_spliced(series, at, 0, static_cast<uint32_t>(total));
  if (owned)
    series::owned_after(series, what, &src.value, static_cast<int32_t>(at),
                        static_cast<int32_t>(total));
  series->data1 = append ? 0 : static_cast<uint32_t>(at + total);
  return series;
}

/*
 * change: the value's cells (`dup` times) replace as many cells from the head, or, with /part,
 * `part` cells whatever the count inserted. Answers the position after the inserted cells.
 */
cell* change(cell* series, cell* value, int32_t part, bool only, int32_t dup) {
  source src(value, only);
  if (dup < 1) return series;
  uint32_t len = block::absolute_length(series);
  if (series->data1 > len) series->data1 = len;
  uint64_t inserted = uint64_t(src.count) * static_cast<uint32_t>(dup);
  check_size(inserted, len + inserted);
  src.detach_from(series);
  uint32_t head = series->data1;
  bool owned = series::owned_before(series, series::change::change, &src.value,
                                    static_cast<int32_t>(head), static_cast<int32_t>(inserted));
  len = block::absolute_length(series);
  head = std::min(head, len);
  if (src.available(src.count) < src.count) {
    src.count = src.available(src.count);
    inserted = uint64_t(src.count) * static_cast<uint32_t>(dup);
  }
  uint32_t remaining = len - head;
  uint64_t replaced = part >= 0 ? std::min<uint64_t>(static_cast<uint32_t>(part), remaining)
                                : std::min<uint64_t>(inserted, remaining);
  uint64_t new_length = len - replaced + inserted;
  series_buffer* s = room_for(series, new_length, false);
  cell* pos = s->cells_rw() + head;
  std::memmove(pos + inserted, pos + replaced, size_t(remaining - replaced) * 16);
  if (inserted) src.write(pos, src.count, inserted);
  s->tail = s->offset + static_cast<uint32_t>(new_length * 16);
  block::hash_spliced(series, head, static_cast<uint32_t>(replaced),
                      static_cast<uint32_t>(inserted));
  if (owned)
    series::owned_after(series, series::change::change, &src.value, static_cast<int32_t>(head),
                        static_cast<int32_t>(inserted));
  series->data1 = static_cast<uint32_t>(head + inserted);
  return series;
}

}  // namespace kaz::block_type

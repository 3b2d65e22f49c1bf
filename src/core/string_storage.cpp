// String storage: positions, making values, widening, writing, inserting, removing and
// concatenating code points.
#include "core/string_storage.h"

#include <algorithm>
#include <cstring>

#include "core/stack.h"
#include "memory/case_map.h"
#include "memory/unicode_strings.h"
#include "runtime/fire.h"
#include "runtime/runtime_error.h"

namespace kaz::string {

uint32_t checked_unit(const series_buffer* s) {
  uint32_t unit = s->unit();
  if (!unicode::valid_unit(unit)) sysrt::no_switch_matched();
  return unit;
}

uint32_t fold_beyond_ascii(uint32_t c) { return unicode::fold_case(c); }

namespace {

// Raises no-memory for a size no series can have.
uint32_t checked_bytes(uint64_t n) {
  if (n > memory::max_series_bytes) fire(err::internal_no_memory);
  return static_cast<uint32_t>(n);
}

// The buffer a value reads from: a symbol! cell holds its name string's node in data2 and is
// read from index 0.
series_buffer* source_buffer(const cell* v, uint32_t& head) {
  head = type_of(v) == type::symbol ? 0 : v->data1;
  return memory::buffer_of(v->data2);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Reading.

text text_of(const cell* v) {
  uint32_t head;
  series_buffer* s = source_buffer(v, head);
  uint32_t unit = checked_unit(s);
  uint32_t total = s->used_bytes() >> (unit >> 1);  // units of 1, 2 or 4 bytes
  if (head > total) head = total;
  return {s->head() + size_t(head) * unit, unit, total - head};
}

// Strings are never code: their head is handed out writable (renewing the stamp).
uint8_t* rs_head(cell* v) {
  series_buffer* s = buffer_of(v);
  uint32_t unit = checked_unit(s);
  uint32_t total = s->length();
  if (v->data1 > total) v->data1 = total;
  return s->head_rw() + size_t(v->data1) * unit;
}

uint8_t* tail_pointer(const cell* v) { return buffer_of(v)->tail_rw(); }

bool at_tail_q(const cell* v) { return length_from_head(v) == 0; }

uint32_t length_from_head(const cell* v) {
  series_buffer* s = buffer_of(v);
  uint32_t total = s->used_bytes() / checked_unit(s);
  return v->data1 >= total ? 0 : total - v->data1;
}

uint32_t absolute_length(const cell* v) {
  series_buffer* s = buffer_of(v);
  return s->used_bytes() / checked_unit(s);
}

uint32_t char_at_absolute(const cell* v, uint32_t index) {
  series_buffer* s = buffer_of(v);
  uint32_t unit = checked_unit(s);
  return get_char(s->head() + size_t(index) * unit, unit);
}

int32_t index_of_char(const cell* v, uint32_t c) {
  text t = text_of(v);
  for (uint32_t i = 0; i < t.length; ++i)
    if (t.at(i) == c) return static_cast<int32_t>(i);
  return -1;
}

bool contains_char_skip_q(const cell* v, uint32_t c, uint32_t step, bool case_sensitive) {
  text t = text_of(v);
  if (step == 0) step = 1;
  if (!case_sensitive) c = fold(c);
  for (uint32_t i = 0; i < t.length; i += step) {
    uint32_t d = t.at(i);
    if ((case_sensitive ? d : fold(d)) == c) return true;
  }
  return false;
}

bool starts_with_c_string_q(const cell* v, std::string_view s) {
  text t = text_of(v);
  if (t.length < s.size()) return false;
  for (uint32_t i = 0; i < s.size(); ++i)
    if (t.at(i) != static_cast<uint8_t>(s[i])) return false;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Making values.

void make_at(cell* c, uint32_t capacity, uint32_t type_id) {
  node_t node = memory::alloc_bytes(capacity ? capacity : 1);
  *c = cell{type_id, 0, node, 0};
}

void init_cell_with_unit(cell* c, uint32_t count, uint32_t unit, uint32_t type_id) {
  if (!unicode::valid_unit(unit)) sysrt::no_switch_matched();
  node_t node = memory::alloc_units(count, unit);
  *c = cell{type_id, 0, node, 0};
}

cell* push(const cell* v) {
  cell* c = stack::push(v);
  c->data3 = 0;
  return c;
}

void reset(cell* v) {
  series_buffer* s = buffer_of(v);
  s->offset = 0;
  s->tail = 0;
  s->flags = (s->flags & ~series_flag::unit_mask) | 1;
  v->data1 = 0;
}

// ---------------------------------------------------------------------------------------------
// Widening and growth.

void widen(node_t node, uint32_t to) { unicode::widen_to(memory::buffer_of(node), to); }

series_buffer* ensure_room(node_t node, uint64_t bytes) {
  series_buffer* s = memory::buffer_of(node);
  uint64_t need = uint64_t(s->tail) + bytes;
  if (need <= s->size) return s;
  uint64_t want = std::max<uint64_t>(need, uint64_t(s->used_bytes()) + bytes);
  want = std::min<uint64_t>(want * 2, memory::max_series_bytes);
  if (uint64_t(s->used_bytes()) + bytes > want) fire(err::internal_no_memory);
  return memory::expand_series_copy(s, checked_bytes(want));
}

// ---------------------------------------------------------------------------------------------
// Writing code points.

void append_code_point(node_t node, uint32_t c) {
  uint32_t need = append_unit_for(c);
  if (need > memory::buffer_of(node)->unit()) widen(node, need);
  uint32_t unit = checked_unit(memory::buffer_of(node));
  series_buffer* s = ensure_room(node, unit);
  put_char(s->tail_rw(), unit, c);
  s->tail += unit;
}

void overwrite_char(node_t node, uint32_t index, uint32_t c) {
  uint32_t need = write_unit_for(c);
  if (need > memory::buffer_of(node)->unit()) widen(node, need);
  series_buffer* s = memory::buffer_of(node);
  uint32_t unit = checked_unit(s);
  uint64_t end = uint64_t(s->offset) + (uint64_t(index) + 1) * unit;
  if (end > s->size) s = ensure_room(node, end - s->tail);
  if (end - unit > s->tail) std::memset(s->tail_rw(), 0, end - unit - s->tail);  // no garbage
  put_char(s->data_rw() + end - unit, unit, c);
  if (end > s->tail) s->tail = static_cast<uint32_t>(end);
}

void insert_code_point(node_t node, uint32_t index, uint32_t c) {
  uint32_t need = write_unit_for(c);
  if (need > memory::buffer_of(node)->unit()) widen(node, need);
  uint32_t unit = checked_unit(memory::buffer_of(node));
  series_buffer* s = ensure_room(node, unit);
  uint64_t at = uint64_t(s->offset) + uint64_t(index) * unit;
  if (at > s->tail) at = s->tail;
  std::memmove(s->data_rw() + at + unit, s->data() + at, s->tail - at);
  put_char(s->data_rw() + at, unit, c);
  s->tail += unit;
}

void write_code_point(node_t node, uint32_t index, uint32_t c) {
  uint32_t need = write_unit_for(c);
  if (need > memory::buffer_of(node)->unit()) widen(node, need);
  series_buffer* s = memory::buffer_of(node);
  uint32_t unit = checked_unit(s);
  if (index >= s->length()) return;
  put_char(s->head_rw() + size_t(index) * unit, unit, c);
}

void remove_part(node_t node, uint32_t index, uint32_t n) {
  series_buffer* s = memory::buffer_of(node);
  uint32_t unit = checked_unit(s);
  uint64_t at = uint64_t(s->offset) + uint64_t(index) * unit;
  if (at >= s->tail) return;
  uint64_t end = std::min<uint64_t>(at + uint64_t(n) * unit, s->tail);
  std::memmove(s->data_rw() + at, s->data() + end, s->tail - end);
  s->tail -= static_cast<uint32_t>(end - at);
}

void truncate_buffer(node_t node, uint32_t n) {
  series_buffer* s = memory::buffer_of(node);
  uint64_t end = uint64_t(s->offset) + uint64_t(n) * checked_unit(s);
  if (end < s->tail) s->tail = static_cast<uint32_t>(end);
}

void copy_units(const uint8_t* from, uint32_t from_unit, uint8_t* to, uint32_t to_unit,
                size_t n) {
  if (from_unit == to_unit) {
    std::memmove(to, from, n * to_unit);
  } else if (to_unit > from_unit && to > from) {
    // Widening within one area: last to first, so nothing is overwritten before it is read.
    for (size_t i = n; i-- > 0;) put_char(to + i * to_unit, to_unit, get_char(from + i * from_unit, from_unit));
  } else {
    for (size_t i = 0; i < n; ++i) put_char(to + i * to_unit, to_unit, get_char(from + i * from_unit, from_unit));
  }
}

node_t copy_units_widening(node_t source, node_t target, uint32_t size, uint32_t target_unit,
                           uint32_t from, uint32_t at, int32_t end, bool keep_tail) {
  series_buffer* s = memory::buffer_of(source);
  uint32_t sunit = checked_unit(s);
  if (!unicode::valid_unit(target_unit) || target_unit < sunit) sysrt::no_case_matched();
  uint32_t length = s->length();
  uint32_t stop = end < 0 ? length : std::min(static_cast<uint32_t>(end), length);
  uint32_t n = from < stop ? stop - from : 0;
  uint64_t need = (uint64_t(at) + n) * target_unit;
  series_buffer* t;
  if (target == 0) {
    // The node takes a new buffer; the old one stays readable until the next allocation.
    uint32_t kept = std::min(at, length);
    t = memory::expand_series(s, checked_bytes(std::max<uint64_t>(size, need)));
    t->flags = (t->flags & ~series_flag::unit_mask) | target_unit;
    copy_units(s->head(), sunit, t->head_rw(), target_unit, kept);
    std::memset(t->head_rw() + size_t(kept) * target_unit, 0, size_t(at - kept) * target_unit);
  } else {
    if (checked_unit(memory::buffer_of(target)) < target_unit) widen(target, target_unit);
    t = memory::buffer_of(target);
    if (t->offset + need > t->size) t = ensure_room(target, t->offset + need - t->tail);
    if (t->head() + size_t(at) * target_unit > t->tail_ptr())  // no garbage before the copy
      std::memset(t->tail_rw(), 0, t->head() + size_t(at) * target_unit - t->tail_ptr());
    s = memory::buffer_of(source);
    sunit = s->unit();  // the target may be the source, widened
  }
  copy_units(s->head() + size_t(from) * sunit, sunit, t->head_rw() + size_t(at) * target_unit,
             target_unit, n);
  if (target == 0 || !keep_tail || t->offset + need > t->tail)
    t->tail = static_cast<uint32_t>(t->offset + need);
  return target ? target : source;
}

void exchange_parts(uint8_t* p, uint32_t a, uint32_t b) { std::rotate(p, p + a, p + a + b); }

void move_part(cell* source, cell* target, uint32_t count) {
  uint32_t n = std::min(count, length_from_head(source));
  if (n == 0) return;
  concatenate(target, source, static_cast<int32_t>(n), 0, true, concat_mode::insert);
  remove_part(source->data2, source->data1, n);
}

// ---------------------------------------------------------------------------------------------
// Appending text.

void append_ascii(node_t node, std::string_view text) {
  append_latin1(node, reinterpret_cast<const uint8_t*>(text.data()),
                static_cast<uint32_t>(text.size()));
}

void append_latin1(node_t node, const uint8_t* bytes, uint32_t n) {
  // A byte of 80h or more widens the text as an appended code point does.
  uint32_t need = 1;
  for (uint32_t i = 0; i < n && need == 1; ++i)
    if (bytes[i] >= 0x80) need = 2;
  if (need > memory::buffer_of(node)->unit()) widen(node, need);
  uint32_t unit = checked_unit(memory::buffer_of(node));
  series_buffer* s = ensure_room(node, uint64_t(n) * unit);
  copy_units(bytes, 1, s->tail_rw(), unit, n);
  s->tail += n * unit;
}

void append_string(node_t node, const cell* source, int32_t part) {
  cell target{type::string, 0, node, 0};
  concatenate(&target, source, part, 0, true, concat_mode::append);
}

void concatenate(cell* target, const cell* source, int32_t part, uint32_t position, bool convert,
                 int mode) {
  node_t tnode = target->data2;
  node_t snode = source->data2;
  uint32_t shead = type_of(source) == type::symbol ? 0 : source->data1;
  uint32_t sunit = checked_unit(memory::buffer_of(snode));
  if (sunit > checked_unit(memory::buffer_of(tnode))) widen(tnode, sunit);
  uint32_t tunit = memory::buffer_of(tnode)->unit();
  if (sunit < tunit && !convert) {
    widen(snode, tunit);
    sunit = tunit;
  }
  uint32_t slength = memory::buffer_of(snode)->length();
  uint32_t count = shead >= slength ? 0 : slength - shead;
  if (part >= 0 && static_cast<uint32_t>(part) < count) count = static_cast<uint32_t>(part);
  uint64_t bytes = uint64_t(count) * tunit;
  if (bytes == 0) return;
  // Where the text goes, in bytes from the target's data start.
  series_buffer* t = memory::buffer_of(tnode);
  uint32_t thead = std::min(target->data1, t->length());
  uint64_t at = t->tail;
  if (mode != concat_mode::append)
    at = std::min<uint64_t>(uint64_t(t->offset) + (uint64_t(thead) + position) * tunit, t->tail);
  uint64_t grow = mode == concat_mode::insert ? bytes
                  : at + bytes > t->tail     ? at + bytes - t->tail
                                             : 0;
  checked_bytes(uint64_t(t->used_bytes()) + grow);
  t = ensure_room(tnode, grow);
  series_buffer* s = memory::buffer_of(snode);  // re-read: growth may have moved it
  const uint8_t* from = s->head() + size_t(shead) * sunit;
  if (mode == concat_mode::insert && snode == tnode) {
    // The text may straddle the gap: copy it to the tail, then rotate it into place.
    copy_units(from, sunit, t->tail_rw(), tunit, count);
    exchange_parts(t->data_rw() + at, static_cast<uint32_t>(t->tail - at),
                   static_cast<uint32_t>(bytes));
    t->tail += static_cast<uint32_t>(bytes);
    return;
  }
  if (mode == concat_mode::insert) {
    std::memmove(t->data_rw() + at + bytes, t->data() + at, t->tail - at);
    t->tail += static_cast<uint32_t>(bytes);
  }
  copy_units(from, sunit, t->data_rw() + at, tunit, count);
  if (at + bytes > t->tail) t->tail = static_cast<uint32_t>(at + bytes);
}

}  // namespace kaz::string

#include "memory/unicode_strings.h"

#include <cstring>

#include "memory/unicode_units.h"
#include "memory/unicode_utf16.h"
#include "memory/unicode_utf8.h"
#include "runtime/fire.h"
#include "runtime/runtime_error.h"

namespace kaz::unicode {

namespace {

uint32_t checked_bytes(uint64_t n) {
  if (n > memory::max_series_bytes) fire(err::internal_no_memory);
  return static_cast<uint32_t>(n);
}

[[noreturn]] void raise_invalid_utf8(const uint8_t* at, size_t avail) {
  size_t n = avail < 4 ? avail : 4;
  uint8_t bytes[4];
  std::memcpy(bytes, at, n);  // `at` may move with the allocation below
  node_t b = memory::alloc_bytes(4);
  series_buffer* s = memory::buffer_of(b);
  std::memcpy(s->head_rw(), bytes, n);
  s->tail = s->offset + static_cast<uint32_t>(n);
  cell arg{type::binary, 0, b, 0};
  fire(err::access_invalid_utf8, &arg);
}

}  // namespace

text_range text_from_head(const cell* v, int32_t max_units) {
  series_buffer* s = memory::buffer_of(v->data2);
  uint32_t unit = s->unit();
  if (!valid_unit(unit)) sysrt::no_switch_matched();  // runtime error 101
  uint32_t total = s->tail / unit;
  uint32_t head = v->data1 < total ? v->data1 : total;
  uint32_t n = total - head;
  if (max_units >= 0 && static_cast<uint32_t>(max_units) < n) n = static_cast<uint32_t>(max_units);
  return {s->data() + size_t(head) * unit, unit, n};
}

text_range bytes_from_head(const cell* v) {
  series_buffer* s = memory::buffer_of(v->data2);
  uint32_t head = v->data1 < s->tail ? v->data1 : s->tail;
  return {s->data() + head, 1, s->tail - head};
}

// ---------------------------------------------------------------------------------------------
// Widening.

series_buffer* widen_to(series_buffer* s, uint32_t to) {
  uint32_t from = s->unit();
  if (!valid_unit(from) || !valid_unit(to)) sysrt::no_case_matched();  // runtime error 100
  if (to <= from) return s;
  uint64_t need = uint64_t(s->tail) / from * to + to;
  if (s->size < need) {
    node_t node = s->node;
    memory::expand_series_copy(s, checked_bytes(memory::round16(need)));
    s = memory::buffer_of(node);
  }
  // Offset and tail count bytes from the data start; the whole area from there widens, and
  // both scale with the unit.
  uint32_t units = s->tail / from;
  widen_units(s->data_rw(), units, from, to);
  s->offset = s->offset / from * to;
  s->tail = units * to;
  s->flags = (s->flags & ~series_flag::unit_mask) | to;
  return s;
}

series_buffer* widen_1_to_2(series_buffer* s) { return widen_to(s, 2); }
series_buffer* widen_1_to_4(series_buffer* s) { return widen_to(s, 4); }
series_buffer* widen_2_to_4(series_buffer* s) { return widen_to(s, 4); }

// ---------------------------------------------------------------------------------------------
// Loading.

node_t utf8_decode_into_string(const uint8_t* src, size_t len, node_t target, size_t* remainder,
                               bool crlf) {
  utf8_scan_result scan =
      utf8_scan(src, len, crlf, remainder != nullptr, target == 0 || memory::buffer_of(target)->length() == 0);
  if (scan.malformed) raise_invalid_utf8(src + scan.end, len - scan.end);
  if (remainder) *remainder = len - scan.end;
  uint32_t need = unit_for(scan.max_cp);
  series_buffer* s;
  if (target == 0) {
    target = memory::alloc_units(checked_bytes(scan.code_points ? scan.code_points : 1), need);
    s = memory::buffer_of(target);
  } else {
    s = memory::buffer_of(target);
    if (!valid_unit(s->unit())) sysrt::no_switch_matched();
    if (need > s->unit()) s = widen_to(s, need);
  }
  uint32_t unit = s->unit();
  uint32_t bytes = checked_bytes(uint64_t(scan.code_points) * unit);
  if (uint64_t(s->tail) + bytes > s->size) {
    s = memory::expand_series_copy(s, checked_bytes(memory::round16(uint64_t(s->tail) + bytes)));
    s = memory::buffer_of(target);
  }
  size_t n = utf8_decode_units(src + scan.start, scan.end - scan.start, s->tail_rw(), unit, crlf);
  s->tail += static_cast<uint32_t>(n * unit);
  return target;
}

node_t utf8_load_new(const uint8_t* src, size_t len) {
  return utf8_decode_into_string(src, len, 0, nullptr, false);
}

node_t utf16_decode_into_string(const uint8_t* src, size_t count, cell* target, bool drop_cr) {
  utf16_scan_result scan = utf16_scan(src, count, drop_cr);
  uint32_t unit = unit_for(scan.max_cp);
  if (unit == 1 && count == 0) unit = 2;
  uint32_t bytes = checked_bytes(uint64_t(scan.code_points ? scan.code_points : 1) * unit);
  node_t node;
  if (target) {  // the target's buffer takes the new text, in the new unit
    node = target->data2;
    series_buffer* s = memory::buffer_of(node);
    if (s->size < bytes) memory::expand_series(s, checked_bytes(memory::round16(bytes)));
    s = memory::buffer_of(node);
    s->flags = (s->flags & ~series_flag::unit_mask) | unit;
    s->offset = 0;
    target->data1 = 0;
  } else {
    node = memory::alloc_units(bytes / unit, unit);
  }
  series_buffer* s = memory::buffer_of(node);
  size_t n = utf16_decode_units(src, count, s->data_rw(), unit, drop_cr);
  s->tail = static_cast<uint32_t>(n * unit);
  return node;
}

// ---------------------------------------------------------------------------------------------
// Encoding.

// A new buffer at every conversion: copies of a cell carry the same data3, so a buffer kept for
// reuse would be shared, and one copy's conversion would overwrite (or move) another's result.
uint8_t* scratch_buffer(cell* string, uint32_t bytes) {
  node_t n = memory::alloc_bytes(bytes ? bytes : 1);
  string->data3 = n;
  return memory::buffer_of(n)->head_rw();
}

const uint8_t* utf8_from_string(cell* string, int32_t* length, bool crlf) {
  text_range t = text_from_head(string, *length);
  size_t bytes = utf8_size_of_units(t.p, t.count, t.unit, crlf);
  uint8_t* out = scratch_buffer(string, checked_bytes(uint64_t(bytes) + 1));
  t = text_from_head(string, *length);  // the scratch buffer may have moved the text
  size_t n = utf8_encode_units(t.p, t.count, t.unit, out, bytes, crlf);
  out[n] = 0;
  *length = static_cast<int32_t>(n);
  return out;
}

const uint16_t* utf16_from_string(cell* string, int32_t* count, bool crlf) {
  text_range t = text_from_head(string, *count);
  size_t units = utf16_size_of_units(t.p, t.count, t.unit, crlf);
  if (units == utf16_unencodable) return nullptr;
  uint8_t* out = scratch_buffer(string, checked_bytes((uint64_t(units) + 1) * 2));
  t = text_from_head(string, *count);
  auto* dst = reinterpret_cast<uint16_t*>(out);  // series data is 8-byte aligned
  size_t n = utf16_encode_units(t.p, t.count, t.unit, dst, crlf);
  dst[n] = 0;
  *count = static_cast<int32_t>(n);
  return dst;
}

size_t utf8_encode_bounded(const cell* string, uint8_t* dst, size_t room, int32_t max_units,
                           bool nul) {
  text_range t = text_from_head(string, max_units);
  size_t usable = nul && room > 0 ? room - 1 : room;
  size_t n = utf8_encode_units(t.p, t.count, t.unit, dst, usable, false);
  if (nul && room > 0) dst[n] = 0;
  return n;
}

}  // namespace kaz::unicode

// binary! storage primitives, the byte conversion of values, byte comparison and matching.
#include <cstring>

#include "core/block_storage.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "datatypes/binary.h"
#include "datatypes/integer.h"
#include "datatypes/scalar_types.h"
#include "memory/cycle_guard.h"
#include "memory/unicode_utf8.h"
#include "runtime/fire.h"

namespace kaz::binary {

// ---------------------------------------------------------------------------------------------
// Storage.

uint32_t rs_length(const cell* v) {
  uint32_t used = buffer_of(v)->used_bytes();
  return v->data1 < used ? used - v->data1 : 0;
}

cell* init_cell(cell* c, uint32_t size) {
  c->header = type::unset;
  node_t node = memory::alloc_bytes(size);
  *c = cell{type::binary, 0, node, 0};
  return c;
}

namespace {

cell new_binary(const uint8_t* source, uint32_t n) {
  cell c;
  init_cell(&c, n);
  series_buffer* s = buffer_of(&c);
  if (n) std::memcpy(s->tail_rw(), source, n);
  s->tail += n;
  return c;
}

}  // namespace

cell* push_from_buffer(const uint8_t* source, uint32_t n) {
  cell c = new_binary(source, n);
  return stack::push(&c);
}

cell* from_buffer_into(const uint8_t* source, uint32_t n, cell* block) {
  if (!block) return push_from_buffer(source, n);
  cell c = new_binary(source, n);
  return block::append_copy(block, &c);
}

uint8_t* append_bytes(cell* v, const uint8_t* source, uint32_t n) {
  series_buffer* s = memory::reserve_tail(buffer_of(v), n);
  uint8_t* at = s->tail_rw() - n;
  if (n) std::memcpy(at, source, n);
  return at;
}

uint8_t* insert_bytes(cell* v, uint32_t offset, const uint8_t* source, uint32_t n) {
  series_buffer* s = buffer_of(v);
  uint64_t used = s->used_bytes();
  if (used + n >= memory::max_series_bytes) fire(err::internal_no_memory);
  if (s->offset + used + n > s->size)
    s = memory::expand_series_copy(s, static_cast<uint32_t>(memory::round16(
                                          n + 2 * uint64_t(s->size) < memory::max_series_bytes
                                              ? n + 2 * uint64_t(s->size)
                                              : s->offset + used + n)));
  uint64_t at = uint64_t(v->data1) + offset;
  if (at > used) at = used;
  uint8_t* p = s->head_rw() + at;
  std::memmove(p + n, p, used - at);
  if (n) std::memcpy(p, source, n);
  s->tail += n;
  return p;
}

void append_int32_be(int32_t value, cell* v) {
  auto u = static_cast<uint32_t>(value);
  uint8_t bytes[4] = {uint8_t(u >> 24), uint8_t(u >> 16), uint8_t(u >> 8), uint8_t(u)};
  append_bytes(v, bytes, 4);
}

// ---------------------------------------------------------------------------------------------
// Byte conversion.

namespace {

uint32_t tuple_length(const cell* v) { return (v->header >> 19) & 15; }
const uint8_t* tuple_bytes(const cell* v) { return reinterpret_cast<const uint8_t*>(v) + 4; }

uint64_t cut(uint64_t n, int32_t limit) {
  return limit >= 1 && uint64_t(limit) < n ? uint64_t(limit) : n;
}

// The UTF-8 size of a text from its head.
uint64_t text_bytes(const cell* v) {
  string::text t = string::text_of(v);
  return unicode::utf8_size_of_units(t.p, t.length, t.unit, false);
}

bool block_like(uint32_t t) { return t == type::block || t == type::paren || t == type::hash; }

[[noreturn]] void no_bytes(const cell* value) {
  cell dt{type::datatype_, type::binary, 0, 0};
  cell v = *value;
  fire(err::script_bad_to_arg, &dt, &v);
}

}  // namespace

uint64_t byte_count(const cell* value, int32_t limit, bool only) {
  uint32_t t = type_of(value);
  switch (t) {
    case type::char_:
      return cut(unicode::utf8_encoded_length(char_type::code_of(value)), limit);
    case type::integer: {
      auto n = integer_type::value_of(value);
      if (n < -128 || n > 255) {
        cell v = *value;
        fire(err::script_invalid_arg, &v);
      }
      return 1;
    }
    case type::binary:
      return cut(rs_length(value), limit);
    case type::tuple:
      return cut(tuple_length(value), limit);
    default:
      break;
  }
  if (is_any_string(t)) return cut(text_bytes(value), limit);
  if (!block_like(t)) no_bytes(value);
  cell b = *value;
  cycle_guard guard(b.data2);
  if (!guard.entered()) fire(err::internal_no_cycle);
  int32_t n = block::rs_length(&b);
  if (!only && limit >= 1 && limit < n) n = limit;
  uint64_t total = 0;
  for (int32_t i = 0; i < n; ++i) total += byte_count(block::rs_head(&b) + i, -1, false);
  return only ? cut(total, limit) : total;
}

namespace {

// Writes the UTF-8 of a text from its head, at most `room` bytes (a character the room cuts
// is written in part).
uint8_t* write_text(uint8_t* out, const cell* v, uint64_t room) {
  string::text t = string::text_of(v);
  size_t done = 0;
  size_t n = unicode::utf8_encode_units(t.p, t.length, t.unit, out, room, false, &done);
  out += n;
  room -= n;
  if (room > 0 && done < t.length) {
    uint8_t bytes[4];
    uint32_t k = unicode::utf8_append_encoded(t.at(static_cast<uint32_t>(done)), bytes);
    std::memcpy(out, bytes, room < k ? room : k);
    out += room < k ? room : k;
  }
  return out;
}

uint8_t* write_block(uint8_t* out, const cell* value, int32_t limit, bool only);

}  // namespace

uint8_t* write_bytes(uint8_t* out, const cell* value, int32_t limit, bool only) {
  uint32_t t = type_of(value);
  switch (t) {
    case type::char_: {
      uint8_t bytes[4];
      uint32_t n = unicode::utf8_append_encoded(char_type::code_of(value), bytes);
      n = static_cast<uint32_t>(cut(n, limit));
      std::memcpy(out, bytes, n);
      return out + n;
    }
    case type::integer:
      *out = static_cast<uint8_t>(integer_type::value_of(value));
      return out + 1;
    case type::binary: {
      auto n = static_cast<uint32_t>(cut(rs_length(value), limit));
      std::memmove(out, rs_head(value), n);
      return out + n;
    }
    case type::tuple: {
      auto n = static_cast<uint32_t>(cut(tuple_length(value), limit));
      std::memcpy(out, tuple_bytes(value), n);
      return out + n;
    }
    default:
      break;
  }
  if (is_any_string(t)) return write_text(out, value, cut(text_bytes(value), limit));
  return write_block(out, value, limit, only);
}

namespace {

uint8_t* write_block(uint8_t* out, const cell* value, int32_t limit, bool only) {
  cell b = *value;
  int32_t n = block::rs_length(&b);
  if (!only) {
    if (limit >= 1 && limit < n) n = limit;
    for (int32_t i = 0; i < n; ++i) out = write_bytes(out, block::rs_head(&b) + i, -1, false);
    return out;
  }
  // With /only a limit is a byte budget across the values.
  uint64_t room = limit >= 1 ? uint64_t(limit) : UINT64_MAX;
  for (int32_t i = 0; i < n && room > 0; ++i) {
    const cell* v = block::rs_head(&b) + i;
    uint64_t k = byte_count(v, -1, false);
    if (k > room) {
      int32_t part = static_cast<int32_t>(room);
      k = byte_count(v, part, true);
      out = write_bytes(out, v, part, true);
    } else {
      out = write_bytes(out, v, -1, false);
    }
    room -= k;
  }
  return out;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Comparison and matching.

namespace {

// The bytes of a value read one at a time from its head: a binary's own, or the UTF-8 of text.
struct byte_reader {
  const uint8_t* p = nullptr;  // binary! bytes
  string::text text{};         // or text units
  uint32_t next_unit = 0;
  uint8_t pending[4];
  uint32_t pending_at = 0, pending_n = 0;

  explicit byte_reader(const cell* v) {
    if (type_of(v) == type::binary) p = rs_head(v);
    else text = string::text_of(v);
  }
  uint8_t next() {
    if (p) return *p++;
    if (pending_at == pending_n) {
      pending_n = unicode::utf8_append_encoded(text.at(next_unit++), pending);
      pending_at = 0;
    }
    return pending[pending_at++];
  }
};

uint64_t length_in_bytes(const cell* v) {
  return type_of(v) == type::binary ? rs_length(v) : text_bytes(v);
}

}  // namespace

int32_t compare_bytes(const cell* value, const cell* other, int32_t op, bool prefix) {
  uint32_t ot = type_of(other);
  if (ot != type::binary && !is_any_string(ot)) return -2;
  bool same = ot == type::binary && value->data2 == other->data2 && value->data1 == other->data1;
  if (op == 9) return same ? 0 : -1;
  if (same && (op <= 2 || op == 12)) return 0;
  uint64_t a = rs_length(value), b = length_in_bytes(other), n;
  if (!prefix) {
    if (a != b && (op <= 2 || op == 12)) return 1;
    if (a == 0 && b == 0) return 0;
    n = a < b ? a : b;
  } else {
    if (b == 0) return op == 0 || op == 2 || op == 12 ? 0 : 1;
    if (a < b) return 1;
    n = b;
  }
  const uint8_t* x = rs_head(value);
  byte_reader y(other);
  for (uint64_t i = 0; i < n; ++i) {
    uint8_t c = y.next();
    if (x[i] != c) return x[i] < c ? -1 : 1;
  }
  if (prefix) return 0;
  return a < b ? -1 : a > b ? 1 : 0;
}

bool head_byte_in_bitset_q(const cell* value, const cell* bitset) {
  if (rs_length(value) == 0) return false;
  return string::bitset_has(bitset, *rs_head(value));
}

bool match_at_head_q(const cell* value, const cell* rule, int32_t op) {
  uint32_t t = type_of(rule);
  if (t == type::binary || is_any_string(t)) return compare_bytes(value, rule, op, true) == 0;
  if (t == type::char_) return rs_length(value) > 0 && *rs_head(value) == char_type::code_of(rule);
  return false;
}

void trim_nulls(cell* value, bool head, bool tail) {
  series_buffer* s = buffer_of(value);
  if (value->data1 > s->used_bytes()) value->data1 = s->used_bytes();
  uint32_t n = rs_length(value);
  uint8_t* p = rs_head_rw(value);
  uint32_t from = 0, to = n;
  if (head || !tail)
    while (from < to && p[from] == 0) ++from;
  if (tail || !head)
    while (to > from && p[to - 1] == 0) --to;
  std::memmove(p, p + from, to - from);
  s->tail = s->offset + value->data1 + (to - from);
}

}  // namespace kaz::binary

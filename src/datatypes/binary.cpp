// binary!: conversion, form and mold, comparison, bitwise actions, append/insert, change and
// trim; registration.
#include "datatypes/binary.h"

#include <algorithm>
#include <cstring>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/base_codecs.h"
#include "datatypes/bitset.h"
#include "datatypes/image.h"
#include "datatypes/integer.h"
#include "datatypes/series_common.h"
#include "datatypes/string_actions.h"
#include "memory/cycle_guard.h"
#include "memory/unicode_utf8.h"
#include "runtime/fire.h"

namespace kaz::binary {

cell* insert(cell* series, cell* value_arg, int32_t part, bool only, int32_t dup, bool append);

namespace {

cell binary_datatype() { return cell{type::datatype_, type::binary, 0, 0}; }

// Moves a head past the tail back to the tail; answers the used size.
uint32_t clamp_head(cell* v) {
  uint32_t used = buffer_of(v)->used_bytes();
  if (v->data1 > used) v->data1 = used;
  return used;
}

// Makes the buffer hold at least `used` bytes; grows to `preferred` when that is larger.
series_buffer* reserve(const cell* v, uint64_t used, uint64_t preferred) {
  series_buffer* s = buffer_of(v);
  if (used >= memory::max_series_bytes) fire(err::internal_no_memory);
  if (s->offset + used <= s->size) return s;
  uint64_t size = s->offset + (preferred > used && preferred < memory::max_series_bytes
                                   ? preferred
                                   : used);
  return memory::expand_series_copy(s, static_cast<uint32_t>(memory::round16(size)));
}

// Repeats the `n` bytes at p until `total` bytes are filled, doubling the copied run.
void fill_pattern(uint8_t* p, uint64_t n, uint64_t total) {
  for (uint64_t done = n; done < total;) {
    uint64_t k = done < total - done ? done : total - done;
    std::memcpy(p + done, p, k);
    done += k;
  }
}

// ---------------------------------------------------------------------------------------------
// Values that share the target's buffer are copied first, so that moving the target's bytes
// never changes what is written.

bool shares_buffer(const cell* value, node_t node) {
  uint32_t t = type_of(value);
  if (t == type::binary) return value->data2 == node;
  if (t != type::block && t != type::paren && t != type::hash) return false;
  cell b = *value;
  cycle_guard guard(b.data2);
  if (!guard.entered()) return false;
  int32_t n = block::rs_length(&b);
  for (int32_t i = 0; i < n; ++i)
    if (shares_buffer(block::rs_head(&b) + i, node)) return true;
  return false;
}

// The bytes of a value in a new binary on the evaluation stack.
cell* bytes_of(const cell* value, int32_t limit, bool only) {
  cell v = *value;
  uint64_t n = byte_count(&v, limit, only);
  if (n >= memory::max_series_bytes) fire(err::internal_no_memory);
  cell out;
  init_cell(&out, static_cast<uint32_t>(n));
  cell* held = stack::push(&out);
  series_buffer* s = buffer_of(held);
  write_bytes(s->tail_rw(), &v, limit, only);
  s->tail += static_cast<uint32_t>(n);
  return held;
}

// change takes any value: one without bytes is formed, inside blocks too (a new block on the
// evaluation stack then holds the converted values).
bool has_bytes(const cell* value) {
  uint32_t t = type_of(value);
  if (t == type::char_ || t == type::integer || t == type::binary || t == type::tuple ||
      is_any_string(t))
    return true;
  if (t != type::block && t != type::paren && t != type::hash) return false;
  cell b = *value;
  cycle_guard guard(b.data2);
  if (!guard.entered()) return true;  // byte_count raises no-cycle
  int32_t n = block::rs_length(&b);
  for (int32_t i = 0; i < n; ++i)
    if (!has_bytes(block::rs_head(&b) + i)) return false;
  return true;
}

cell changeable(const cell* value) {
  if (has_bytes(value)) return *value;
  cell v = *value;
  uint32_t t = type_of(&v);
  if (t == type::block || t == type::paren || t == type::hash) {
    int32_t n = block::rs_length(&v);
    cell* out = block::push_only(static_cast<uint32_t>(n > 0 ? n : 1));
    for (int32_t i = 0; i < n; ++i) {
      cell e = changeable(block::rs_head(&v) + i);
      block::append_copy(out, &e);
    }
    return *out;
  }
  cell* text = stack::reserve_cell();
  string::make_at(text, 16);
  actions::form(&v, text, nullptr, 0x7FFFFFFF);
  return *text;
}

// ---------------------------------------------------------------------------------------------
// to binary!

void put_be(cell* out, uint64_t bits, uint32_t n) {
  uint8_t bytes[8];
  for (uint32_t i = 0; i < n; ++i) bytes[i] = uint8_t(bits >> (8 * (n - 1 - i)));
  append_bytes(out, bytes, n);
}

cell* to(cell* proto, cell* spec_arg, uint32_t) {
  cell spec = *spec_arg;
  uint32_t t = type_of(&spec);
  cell* out = stack::reserve_cell();
  switch (t) {
    case type::integer:
      init_cell(out, 4);
      put_be(out, static_cast<uint32_t>(integer_type::value_of(&spec)), 4);
      break;
    case type::float_:
    case type::percent: {
      double d = get_double(&spec);
      uint64_t bits;
      std::memcpy(&bits, &d, 8);
      init_cell(out, 8);
      put_be(out, bits, 8);
      break;
    }
    case type::issue: {
      uint32_t room = decoded_room(16, static_cast<uint32_t>(symbol::spelling(word::symbol_of(&spec)).size()));
      init_cell(out, room);
      std::string_view name = symbol::spelling(word::symbol_of(&spec));
      series_buffer* s = buffer_of(out);
      int64_t n = decode_base16(reinterpret_cast<const uint8_t*>(name.data()),
                                static_cast<uint32_t>(name.size()), 1, s->tail_rw());
      if (n < 0) fire(err::script_invalid_data, &spec);
      s->tail += static_cast<uint32_t>(n);
      break;
    }
    case type::bitset: {
      series_buffer* bits = memory::buffer_of(bitset_type::node_of(&spec));
      init_cell(out, bits->used_bytes());
      bits = memory::buffer_of(bitset_type::node_of(&spec));
      append_bytes(out, bits->head(), bits->used_bytes());
      break;
    }
    case type::block:
    case type::paren:
    case type::hash:
      init_cell(out, 16);
      insert(out, &spec, -1, false, 1, true);
      break;
    case type::image:
      image::extract_binary(&spec, image::argb_mode, out);
      break;
    default:
      if (t == type::char_ || t == type::tuple || t == type::binary || is_any_string(t)) {
        *out = *bytes_of(&spec, -1, false);
        break;
      }
      {
        cell dt = binary_datatype();
        fire(err::script_bad_to_arg, &dt, &spec);
      }
  }
  *proto = *out;
  stack::top = out;
  return proto;
}

// ---------------------------------------------------------------------------------------------
// form and mold.

void new_line(node_t out, int32_t level, int32_t* limit) {
  string::append_ascii(out, "\n");
  for (int32_t k = 0; k < level; ++k) string::append_ascii(out, "    ");
  *limit -= 1 + 4 * level;
}

/*
 * Two hexadecimal digits a byte between "#{" and "}". More than 30 bytes go on lines of their
 * own, 32 bytes a line, indented one level more than the value; /flat keeps one line.
 */
int32_t serialize(const cell* v, node_t out, bool only, bool flat, cell* part, int32_t limit,
                  int32_t level) {
  cell b = *v;
  uint32_t n = rs_length(&b);
  if (!only) {
    string::append_ascii(out, "#{");
    limit -= 2;
  }
  bool lines = n > 30 && !flat;
  if (lines) new_line(out, level + 1, &limit);
  static const char digits[] = "0123456789ABCDEF";
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t byte = rs_head(&b)[i];
    char text[2] = {digits[byte >> 4], digits[byte & 15]};
    string::append_ascii(out, std::string_view(text, 2));
    limit -= 2;
    if (!flat && (i + 1) % 32 == 0) new_line(out, level + 1, &limit);
    if (part && limit <= 0) return limit;
    n = rs_length(&b);
  }
  if (lines && n % 32 != 0) new_line(out, level, &limit);
  if (!only) {
    string::append_ascii(out, "}");
    --limit;
  }
  return limit;
}

int32_t form(cell* v, cell* buffer, cell* part, int32_t limit) {
  return serialize(v, series::node_of(buffer), false, false, part, limit, 0);
}

int32_t mold(cell* v, cell* buffer, bool only, bool, bool flat, cell* part, int32_t limit,
             int32_t indent) {
  return serialize(v, series::node_of(buffer), only, flat, part, limit, indent);
}

int32_t compare(cell* a, cell* b, int32_t op) {
  if (type_of(b) != type::binary) return -2;
  return compare_bytes(a, b, op, false);
}

// ---------------------------------------------------------------------------------------------
// Bitwise actions.

enum bit_op { bit_and, bit_or, bit_xor };

void bitwise(bit_op op) {
  cell* a = stack::arguments;
  cell* b = stack::arguments + 1;
  if (type_of(b) != type::binary) fire(err::script_invalid_arg, b);
  uint32_t la = rs_length(a), lb = rs_length(b);
  uint32_t n = la > lb ? la : lb;
  cell out;
  init_cell(&out, n);
  cell* held = stack::push(&out);
  const uint8_t* x = rs_head(a);
  const uint8_t* y = rs_head(b);
  series_buffer* s = buffer_of(held);
  uint8_t* w = s->tail_rw();
  uint32_t common = la < lb ? la : lb;
  for (uint32_t i = 0; i < common; ++i)
    w[i] = op == bit_and ? x[i] & y[i] : op == bit_or ? x[i] | y[i] : x[i] ^ y[i];
  const uint8_t* longer = la > lb ? x : y;
  for (uint32_t i = common; i < n; ++i) w[i] = op == bit_and ? 0 : longer[i];
  s->tail += n;
  *a = *held;
  stack::top = stack::arguments + 1;
}

void and_t() { bitwise(bit_and); }
void or_t() { bitwise(bit_or); }
void xor_t() { bitwise(bit_xor); }

cell* complement(cell* v) {
  clamp_head(v);
  uint8_t* p = rs_head_rw(v);
  for (uint32_t i = 0, n = rs_length(v); i < n; ++i) p[i] = uint8_t(~p[i]);
  return v;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// append, insert and change.

cell* insert(cell* series, cell* value_arg, int32_t part, bool only, int32_t dup, bool append) {
  cell value = *value_arg;
  int32_t limit = part;
  if (shares_buffer(&value, series->data2)) {
    value = *bytes_of(&value, part, only);
    limit = -1;
  }
  uint64_t n = byte_count(&value, limit, only);  // every value checked before any change
  if (n == 0) return series;
  uint32_t used = clamp_head(series);
  auto what = append ? series::change::append : series::change::insert;
  bool owned = series::owned_before(series, what, &value, static_cast<int32_t>(used), part);
  if (owned) {  // the owner's handler ran code: look again
    n = byte_count(&value, limit, only);
    used = clamp_head(series);
    if (n == 0) return series;
  }
  uint64_t total = n * uint32_t(dup);
  uint64_t new_size = used + total;
  if (total / uint32_t(dup) != n || new_size >= memory::max_series_bytes)
    fire(err::internal_no_memory);
  uint32_t head = series->data1;
  uint32_t at = append || head == used ? used : head;
  series_buffer* s = reserve(series, new_size, 2 * uint64_t(buffer_of(series)->size));
  uint8_t* p = s->head_rw() + at;
  std::memmove(p + total, p, used - at);
  write_bytes(p, &value, limit, only);
  fill_pattern(p, n, total);
  s->tail += static_cast<uint32_t>(total);
  if (owned)
    series::owned_after(series, what, &value, static_cast<int32_t>(used), part < 0 ? 1 : part);
  series->data1 = append ? 0 : at + static_cast<uint32_t>(total);
  return series;
}

namespace {

cell* change(cell* series, cell* value_arg, int32_t part, bool, int32_t dup) {
  cell value = changeable(value_arg);
  if (shares_buffer(&value, series->data2)) value = *bytes_of(&value, -1, false);
  uint64_t n = byte_count(&value, -1, false);
  uint32_t used = clamp_head(series);
  uint32_t head = series->data1;
  auto replaced_count = [&](uint32_t remaining) {
    uint64_t r = part >= 0 ? uint64_t(part) : n * uint32_t(dup);
    return static_cast<uint32_t>(r < remaining ? r : remaining);
  };
  uint32_t replaced = replaced_count(used - head);
  bool owned = series::owned_before(series, series::change::change, &value,
                                    static_cast<int32_t>(head), static_cast<int32_t>(replaced));
  if (owned) {  // the owner's handler ran code: look again
    n = byte_count(&value, -1, false);
    used = clamp_head(series);
    head = series->data1;
    replaced = replaced_count(used - head);
  }
  uint64_t total = n * uint32_t(dup);
  if (n != 0 && total / uint32_t(dup) != n) fire(err::internal_no_memory);
  uint64_t new_used = uint64_t(used) + total - replaced;
  series_buffer* s = reserve(series, new_used, new_used);
  uint8_t* p = s->head_rw() + head;
  if (total != replaced) std::memmove(p + total, p + replaced, used - head - replaced);
  write_bytes(p, &value, -1, false);
  fill_pattern(p, n, total);
  s->tail = s->offset + static_cast<uint32_t>(new_used);
  if (owned)
    series::owned_after(series, series::change::change, &value, static_cast<int32_t>(head),
                        static_cast<int32_t>(total));
  uint64_t end = head + total;
  series->data1 = static_cast<uint32_t>(end < new_used ? end : new_used);
  return series;
}

cell* trim(cell* series, bool head, bool tail, bool auto_, bool lines, bool all, cell* with) {
  if (!with && !all && (auto_ || lines)) fire(err::internal_not_done);
  auto at = static_cast<int32_t>(std::min(series->data1, buffer_of(series)->used_bytes()));
  auto n = static_cast<int32_t>(rs_length(series));
  bool owned = series::owned_before(series, series::change::trim, nullptr, at, n);
  if (with || all) {
    cell zero{type::integer, 0, 0, 0};
    string_type::trim_chars(series, with ? with : &zero);
  } else {
    trim_nulls(series, head, tail);
  }
  if (owned) series::owned_after(series, series::change::trim, nullptr, at, n);
  return series;
}

}  // namespace

void init() {
  registry::add(type::binary,
                {.to = to,
                 .form = form,
                 .mold = mold,
                 .compare = compare,
                 .and_t = and_t,
                 .complement = complement,
                 .or_t = or_t,
                 .xor_t = xor_t,
                 .append = insert,
                 .change = change,
                 .insert = insert,
                 .trim = trim},
                inherited(slot::make, slot::random, slot::reflect, slot::eval_path, slot::at,
                          slot::back, slot::clear, slot::copy, slot::find, slot::head,
                          slot::head_q, slot::index_q, slot::length_q, slot::move, slot::next,
                          slot::pick, slot::poke, slot::remove, slot::reverse, slot::select,
                          slot::sort, slot::skip, slot::swap, slot::tail, slot::tail_q,
                          slot::take, slot::modify));
}

}  // namespace kaz::binary

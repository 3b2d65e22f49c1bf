// tuple!: byte-wise arithmetic that saturates at 0 and 255, conversions, paths and text.
#include "datatypes/tuple.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/block_storage.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/random.h"
#include "datatypes/scalar_support.h"
#include "datatypes/scalar_types.h"
#include "datatypes/text_scan.h"

namespace kaz::tuple_type {

namespace {

using namespace scalar;

cell path_result;  // a byte read by a path (copied by the caller at once)

uint8_t clamp_byte(int64_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// A double truncated and clamped to a byte (NaN gives 0).
uint8_t clamp_byte(double v) {
  if (!(v > 0.0)) return 0;
  if (v >= 255.0) return 255;
  return static_cast<uint8_t>(v);
}

void bytes_of(const cell* t, uint8_t out[max_length]) {
  for (uint32_t i = 0; i < max_length; ++i) out[i] = byte_at(t, i);
}

/*
 * One byte with an integer: integer! arithmetic, where a result that leaves 32 bits (integer!
 * gives a float! then) saturates like any other; division and remainder by 0 are errors.
 */
uint8_t integer_op(int64_t l, int64_t r, kaz::math op) {
  switch (op) {
    case kaz::math::add: return clamp_byte(l + r);
    case kaz::math::subtract: return clamp_byte(l - r);
    case kaz::math::multiply: return clamp_byte(l * r);
    case kaz::math::divide:
      if (r == 0) fire(err::math_zero_divide);
      return clamp_byte(l / r);
    case kaz::math::remainder:
      if (r == 0) fire(err::math_zero_divide);
      return clamp_byte(l % r);
    default:  // or, and, xor on the 32-bit patterns
      return clamp_byte(static_cast<int64_t>(
          integer_type::math_op(static_cast<int32_t>(l), static_cast<int32_t>(r), op, nullptr)));
  }
}

// One byte with a float: float! arithmetic (no error for a zero divisor), then truncated.
uint8_t float_op(double l, double r, kaz::math op) { return clamp_byte(float_type::math_op(l, r, op)); }

// ---------------------------------------------------------------------------------------------
// make and to

int32_t hex_digit(uint32_t c) {
  c &= 0x7F;
  if (c >= '0' && c <= '9') return static_cast<int32_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<int32_t>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<int32_t>(c - 'a' + 10);
  return -1;
}

// #F80 is 255.136.0 (each digit doubled), #FF8800 the same, #FF880080 four bytes.
cell* from_issue(cell* out, const cell* issue) {
  std::string_view name = symbol::spelling(word::symbol_of(issue));
  uint8_t b[4] = {};
  uint32_t n = 0;
  auto bad = [&]() {
    cell v = *issue;
    fire(err::script_invalid_data, &v);
  };
  if (name.size() == 3) {
    for (size_t i = 0; i < 3; ++i) {
      int32_t d = hex_digit(static_cast<uint8_t>(name[i]));
      if (d < 0) bad();
      b[n++] = static_cast<uint8_t>(d * 17);
    }
  } else if (name.size() == 6 || name.size() == 8) {
    for (size_t i = 0; i < name.size(); i += 2) {
      int32_t hi = hex_digit(static_cast<uint8_t>(name[i]));
      int32_t lo = hex_digit(static_cast<uint8_t>(name[i + 1]));
      if (hi < 0 || lo < 0) bad();
      b[n++] = static_cast<uint8_t>(hi * 16 + lo);
    }
  } else {
    bad();
  }
  return init_cell(out, b, n);
}

// At most 12 integer!, char! or float! (truncated) elements of 0-255.
cell* from_block(cell* out, cell* spec) {
  int32_t n = block::rs_length(spec);
  if (n > static_cast<int32_t>(max_length)) fire_bad_to(type::tuple, spec);
  uint8_t b[max_length] = {};
  for (int32_t i = 0; i < n; ++i) {
    const cell* e = block::rs_head(spec) + i;
    double v;
    switch (type_of(e)) {
      case type::integer:
      case type::char_: v = static_cast<int32_t>(e->data2); break;
      case type::float_: v = std::trunc(get_double(e)); break;
      default: fire_bad_to(type::tuple, spec);
    }
    if (!(v >= 0.0 && v <= 255.0)) fire_bad_to(type::tuple, spec);
    b[i] = static_cast<uint8_t>(v);
  }
  return init_cell(out, b, static_cast<uint32_t>(n));
}

// The bytes of a binary! from its position, at most 12.
cell* from_binary(cell* out, const cell* bin) {
  series_buffer* s = memory::buffer_of(series::node_of(bin));
  uint32_t used = s->used_bytes();
  uint32_t index = series::index_of(bin);
  uint32_t n = index < used ? std::min(used - index, max_length) : 0;
  uint8_t b[max_length] = {};
  std::copy_n(s->head() + index, n, b);
  return init_cell(out, b, n);
}

cell* make(cell* proto, cell* spec, uint32_t) {
  switch (type_of(spec)) {
    case type::tuple: return spec;
    case type::block:
    case type::paren:
    case type::hash: return from_block(proto, spec);
    case type::issue: return from_issue(proto, spec);
    case type::binary: return from_binary(proto, spec);
    default:
      if (is_any_string(type_of(spec)) && scan_text_as(spec, type::tuple, proto)) return proto;
      fire_bad_to(type::tuple, spec);
  }
}

// ---------------------------------------------------------------------------------------------
// Text, comparison and the other actions

int32_t form(cell* v, cell* buffer, cell*, int32_t limit) {
  char text[max_length * 4];
  int n = 0;
  for (uint32_t i = 0; i < length_of(v); ++i)
    n += std::snprintf(text + n, sizeof text - static_cast<size_t>(n), i ? ".%u" : "%u",
                       static_cast<unsigned>(byte_at(v, i)));
  string::append_ascii(series::node_of(buffer), std::string_view(text, static_cast<size_t>(n)));
  return limit - n;
}

int32_t mold(cell* v, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  return form(v, buffer, part, limit);
}

// Byte by byte up to the longer length, a missing byte counting as 0: 1.2.3 = 1.2.3.0.
int32_t compare(cell* a, cell* b, int32_t) {
  if (type_of(b) != type::tuple) return -2;
  uint32_t n = std::max(length_of(a), length_of(b));
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t x = byte_at(a, i), y = byte_at(b, i);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

void add() { math(kaz::math::add); }
void subtract() { math(kaz::math::subtract); }
void multiply() { math(kaz::math::multiply); }
void divide() { math(kaz::math::divide); }
void remainder() { math(kaz::math::remainder); }
void and_t() { math(kaz::math::and_); }
void or_t() { math(kaz::math::or_); }
void xor_t() { math(kaz::math::xor_); }

cell* complement(cell* v) {
  uint8_t b[max_length];
  bytes_of(v, b);
  uint32_t n = length_of(v);
  for (uint32_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(255 - b[i]);
  return init_cell(v, b, n);
}

int32_t length_q(cell* v) { return static_cast<int32_t>(length_of(v)); }

// Each byte b becomes a uniform random byte from 0 to b.
const cell* random_(cell* v, bool seed, bool secure, bool) {
  if (seed) {
    random::seed(v->data1 ^ v->data2 ^ v->data3);
    return unset_result(v);
  }
  uint8_t b[max_length];
  bytes_of(v, b);
  uint32_t n = length_of(v);
  for (uint32_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(random::next_in_range(b[i] + 1, secure) - 1);
  uint32_t flags = v->header & ~(type_mask | length_mask);
  init_cell(v, b, n);
  v->header |= flags;
  return v;
}

int32_t index_in_range(const cell* t, const cell* index) {
  int32_t i = integer_type::value_of(index);
  if (i < 1 || i > static_cast<int32_t>(length_of(t))) fire(err::script_out_of_range, index);
  return i;
}

const cell* pick(cell* t, int32_t number, cell* index) {
  cell n;
  const cell* boxed = pick_index(index, number, &n);
  if (type_of(boxed) != type::integer) fire(err::script_out_of_range, boxed);
  int32_t i = index_in_range(t, boxed);
  *t = cell{type::integer, 0, byte_at(t, static_cast<uint32_t>(i - 1)), 0};
  return t;
}

// tuple/n reads byte n; setting it stores an integer clamped to a byte, and none cuts the
// tuple before n (not below 3 bytes).
const cell* eval_path(cell* parent, cell* element, cell* value, cell*, cell*, cell*, int32_t, bool,
                bool, bool) {
  if (type_of(element) != type::integer) fire_invalid_type(element);
  uint32_t i = static_cast<uint32_t>(index_in_range(parent, element)) - 1;
  if (!value) {
    path_result = cell{type::integer, 0, byte_at(parent, i), 0};
    return &path_result;
  }
  uint8_t b[max_length];
  bytes_of(parent, b);
  uint32_t n = length_of(parent);
  if (type_of(value) == type::integer) {
    b[i] = clamp_byte(static_cast<int64_t>(integer_type::value_of(value)));
  } else if (type_of(value) == type::none) {
    std::fill(b + i, b + max_length, 0);
    n = i;
  } else {
    fire_invalid_type(value);
  }
  uint32_t flags = parent->header & ~(type_mask | length_mask);
  init_cell(parent, b, n);
  parent->header |= flags;
  return value;
}

[[noreturn]] void bad_refinement(const char* name, const cell* v) {
  cell w = word_cell(name);
  cell c = *v;
  fire(err::script_invalid_refine_arg, &w, &c);
}

// Reverses the first `part` bytes, or with /skip the records of `skip` bytes within them.
cell* reverse(cell* t, cell* part, cell* skip) {
  uint32_t len = length_of(t);
  int64_t n = len;
  if (part) {
    if (type_of(part) != type::integer) bad_refinement("part", part);
    int32_t p = integer_type::value_of(part);
    if (p < 0) fire(err::script_out_of_range, part);
    n = std::min<int64_t>(p, len);
  }
  int64_t k = 1;
  if (skip) {
    if (type_of(skip) != type::integer) bad_refinement("skip", skip);
    k = integer_type::value_of(skip);
    if (k < 1) fire(err::script_out_of_range, skip);
    if (k == n) return t;
    if (k > n || n % k != 0) bad_refinement("skip", skip);
  }
  uint8_t b[max_length];
  bytes_of(t, b);
  int64_t records = n / k;
  for (int64_t r = 0; r < records / 2; ++r)
    std::swap_ranges(b + r * k, b + (r + 1) * k, b + (records - 1 - r) * k);
  uint32_t flags = t->header & ~(type_mask | length_mask);
  init_cell(t, b, len);
  t->header |= flags;
  return t;
}

}  // namespace

uint8_t byte_at(const cell* t, uint32_t i) {
  if (i >= max_length) return 0;
  uint32_t w = i < 4 ? t->data1 : i < 8 ? t->data2 : t->data3;
  return static_cast<uint8_t>(w >> (8 * (i % 4)));
}

cell* init_cell(cell* c, const uint8_t* bytes, uint32_t length) {
  uint8_t b[max_length] = {};
  if (length > max_length) length = max_length;
  std::copy_n(bytes, length, b);
  if (length < 3) length = 3;
  c->header = type::tuple | (length << length_shift);
  uint32_t* words[3] = {&c->data1, &c->data2, &c->data3};
  for (uint32_t w = 0; w < 3; ++w)
    *words[w] = uint32_t(b[4 * w]) | uint32_t(b[4 * w + 1]) << 8 | uint32_t(b[4 * w + 2]) << 16 |
                uint32_t(b[4 * w + 3]) << 24;
  return c;
}

cell* push(const uint8_t* bytes, uint32_t length) {
  return init_cell(stack::reserve_cell(), bytes, length);
}

cell* push_from_ints(uint32_t count, const int32_t* values) {
  uint8_t b[max_length] = {};
  uint32_t n = std::min(count, max_length);
  for (uint32_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(values[i]);
  return push(b, n);
}

cell* init_rgba(cell* c, int32_t r, int32_t g, int32_t b, int32_t a) {
  uint8_t bytes[4] = {static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b),
                      static_cast<uint8_t>(a)};
  return init_cell(c, bytes, a == -1 ? 3 : 4);
}

bool zero_q(const cell* t) {
  for (uint32_t i = 0; i < length_of(t); ++i)
    if (byte_at(t, i) != 0) return false;
  return true;
}

void math(kaz::math op) {
  cell* a = stack::arguments;
  cell* b = a + 1;
  if (type_of(a) != type::tuple) {
    if (op == kaz::math::subtract || op == kaz::math::divide || op == kaz::math::remainder)
      fire_not_related(op, type_of(a));
    std::swap(*a, *b);
  }
  uint8_t x[max_length], out[max_length] = {};
  bytes_of(a, x);
  uint32_t n = length_of(a);
  switch (type_of(b)) {
    case type::integer: {
      int64_t r = integer_type::value_of(b);
      for (uint32_t i = 0; i < n; ++i) out[i] = integer_op(x[i], r, op);
      break;
    }
    case type::float_:
    case type::percent: {
      double r = get_double(b);
      for (uint32_t i = 0; i < n; ++i) out[i] = float_op(x[i], r, op);
      break;
    }
    case type::tuple: {
      uint8_t y[max_length];
      bytes_of(b, y);
      n = std::max(n, length_of(b));
      for (uint32_t i = 0; i < n; ++i) out[i] = integer_op(x[i], y[i], op);
      break;
    }
    default:
      fire_invalid_type(b);
  }
  init_cell(a, out, n);
}

void init() {
  registry::add(type::tuple, {.make = make,
                              .random = random_,
                              .to = make,
                              .form = form,
                              .mold = mold,
                              .eval_path = eval_path,
                              .compare = compare,
                              .add = add,
                              .divide = divide,
                              .multiply = multiply,
                              .remainder = remainder,
                              .subtract = subtract,
                              .and_t = and_t,
                              .complement = complement,
                              .or_t = or_t,
                              .xor_t = xor_t,
                              .length_q = length_q,
                              .pick = pick,
                              .reverse = reverse});
}

}  // namespace kaz::tuple_type

// vector!: making, form and mold, comparison, append/insert and change; registration. The math
// actions are in vector_math.cpp.
#include "datatypes/vector.h"

#include <charconv>
#include <cstring>

#include "core/block_storage.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/integer.h"
#include "datatypes/scalar_types.h"
#include "datatypes/series_common.h"
#include "datatypes/vector_math.h"
#include "runtime/fire.h"
#include "runtime/float_text.h"

namespace kaz::vector {

namespace {

series_buffer* buffer_of(const cell* v) { return memory::buffer_of(v->data2); }
uint32_t width_of(const cell* v) { return buffer_of(v)->unit(); }
uint32_t count_of(const cell* v) { return buffer_of(v)->length(); }
const uint8_t* element_address(const cell* v, uint32_t index) {
  return buffer_of(v)->head() + size_t(index) * width_of(v);
}
uint8_t* element_address_rw(const cell* v, uint32_t index) {
  return buffer_of(v)->head_rw() + size_t(index) * width_of(v);
}
// Moves a head past the tail back to the tail; answers the head.
uint32_t clamp_head(cell* v) {
  uint32_t n = count_of(v);
  if (v->data1 > n) v->data1 = n;
  return v->data1;
}

cell vector_datatype() { return cell{type::datatype_, type::vector, 0, 0}; }

bool is_float_type(uint32_t t) { return t == type::float_ || t == type::percent; }
bool element_type_q(uint32_t t) {
  return t == type::integer || t == type::char_ || t == type::float_ || t == type::percent;
}

void check_value(const cell* value, uint32_t element_type) {
  if (type_of(value) != element_type) {
    cell v = *value;
    fire(err::script_invalid_arg, &v);
  }
}

// Makes room for `count` elements in all; grows to twice the size when that is enough.
void reserve_elements(const cell* v, uint64_t count) {
  series_buffer* s = buffer_of(v);
  uint64_t need = uint64_t(s->offset) + count * s->unit();
  if (need >= memory::max_series_bytes) fire(err::internal_no_memory);
  if (need <= s->size) return;
  uint64_t grown = uint64_t(s->size) * 2 >= need ? uint64_t(s->size) * 2 : need;
  if (grown >= memory::max_series_bytes) grown = need;
  memory::expand_series_copy(s, static_cast<uint32_t>(memory::round16(grown)));
}

// Repeats the `n` bytes at p until `total` bytes are filled, doubling the copied run.
void fill_pattern(uint8_t* p, size_t n, size_t total) {
  for (size_t done = n; done < total;) {
    size_t k = done < total - done ? done : total - done;
    std::memcpy(p + done, p, k);
    done += k;
  }
}

// ---------------------------------------------------------------------------------------------
// make.

uint32_t element_type_of_word(const cell* word) {
  uint32_t s = symbol::resolve(word::symbol_of(word));
  for (uint32_t t : {uint32_t(type::integer), uint32_t(type::char_), uint32_t(type::float_),
                     uint32_t(type::percent)})
    if (s == symbol::resolve(symbol::make(registry::name(t)))) return t;
  return 0;
}

bool width_allowed(uint32_t element_type, uint32_t bits) {
  if (is_float_type(element_type)) return bits == 32 || bits == 64;
  return bits == 8 || bits == 16 || bits == 32;
}

cell* make(cell* proto, cell* spec_arg, uint32_t) {
  cell spec = *spec_arg;
  uint32_t st = type_of(&spec);
  cell dt = vector_datatype();
  uint32_t element_type = type::integer, width = 0;
  int64_t count = 0;
  cell values{type::none, 0, 0, 0};  // the initial values: a block from its index
  if (st == type::integer || st == type::float_) {
    count = series::to_int_arg(&spec);
  } else if (st != type::block) {
    fire(err::internal_not_done);
  } else if (block::rs_length(&spec) > 0) {
    int32_t n = block::rs_length(&spec);
    const cell* at = block::rs_head(&spec);
    cell first = at[0];
    if (type_of(&first) == type::word) {
      if (n < 2) fire(err::script_bad_make_arg, &dt, &spec);
      element_type = element_type_of_word(&first);
      if (!element_type) fire(err::script_bad_make_arg, &dt, &spec);
      int32_t i = 1;
      cell next = at[i];
      if (type_of(&next) == type::integer) {
        uint32_t bits = static_cast<uint32_t>(integer_type::value_of(&next));
        if (element_type == type::percent) bits = 64;
        else if (!width_allowed(element_type, bits)) fire(err::script_bad_make_arg, &dt, &spec);
        width = bits / 8;
        ++i;
      } else if (element_type == type::percent) {
        width = 8;
      } else {
        fire(err::script_invalid_spec_field, &spec);
      }
      if (i >= n) fire(err::script_invalid_spec_field, &spec);
      cell size = block::rs_head(&spec)[i];
      if (type_of(&size) == type::integer) {
        count = integer_type::value_of(&size);
        if (i + 1 < n && type_of(block::rs_head(&spec) + i + 1) == type::block)
          values = block::rs_head(&spec)[i + 1];
      } else if (type_of(&size) == type::block) {
        values = size;
      } else {
        fire(err::script_invalid_spec_field, &spec);
      }
    } else {
      element_type = type_of(&first);
      if (!element_type_q(element_type)) {
        cell t{type::datatype_, element_type, 0, 0};
        fire(err::script_invalid_type, &t);
      }
      values = spec;
    }
  }
  if (width == 0) width = default_width(element_type);
  bool fill = true;
  int32_t given = type_of(&values) == type::block ? block::rs_length(&values) : 0;
  if (given < 0) given = 0;
  // Every initial value is checked before the vector is made.
  for (int32_t i = 0; i < given; ++i) check_value(block::rs_head(&values) + i, element_type);
  if (given > 0 && given >= count) {
    count = given;
    fill = false;
  }
  if (count < 1) {
    count = 1;
    fill = false;
  }
  cell out;
  alloc(&out, static_cast<uint32_t>(count), element_type, width);
  cell* held = stack::push(&out);
  series_buffer* s = buffer_of(held);
  for (int32_t i = 0; i < given; ++i) {
    write_element(s->tail_rw(), width, block::rs_head(&values) + i);
    s->tail += width;
  }
  if (fill) {
    uint32_t end = s->offset + static_cast<uint32_t>(count) * width;
    std::memset(s->tail_rw(), 0, end - s->tail);
    s->tail = end;
  }
  *proto = *held;
  stack::top = held;
  return proto;
}

// ---------------------------------------------------------------------------------------------
// form and mold.

uint32_t text_length(node_t out) { return memory::buffer_of(out)->length(); }

// The elements from the head as text, separated by spaces. In mold mode a character is written
// as a char! literal.
int32_t serialize(const cell* v, node_t out, bool all, cell* part, int32_t limit, bool mold) {
  cell vec = *v;
  uint32_t n = count_of(&vec), width = width_of(&vec), t = vec.data3;
  for (uint32_t i = vec.data1; i < n; ++i) {
    if (part && limit < 1) break;
    uint32_t before = text_length(out);
    cell e;
    read_element(element_address(&vec, i), width, t, &e);
    if (t == type::char_) {
      if (mold) string::append_ascii(out, "#\"");
      string::append_escaped_char(out, char_type::code_of(&e), mold ? string::escape::text : string::escape::plain,
                                  all);
      if (mold) string::append_ascii(out, "\"");
    } else if (t == type::integer) {
      char text[12];
      auto r = std::to_chars(text, text + sizeof text, integer_type::value_of(&e));
      string::append_ascii(out, std::string_view(text, size_t(r.ptr - text)));
    } else {
      char text[float_text_size];
      double d = get_double(&e);
      float_::text_kind kind;
      if (t == type::percent) {
        d *= 100.0;
        kind = width == 8 ? float_::text_kind::percent64 : float_::text_kind::percent32;
      } else {
        kind = width == 8 ? float_::text_kind::float64 : float_::text_kind::vector32;
      }
      size_t len = float_::to_cstring(float_text_out(text, float_text_size), d, kind, true);
      string::append_ascii(out, std::string_view(text, len));
    }
    if (i + 1 < n) string::append_ascii(out, " ");
    limit -= static_cast<int32_t>(text_length(out) - before);
    n = count_of(&vec);
  }
  return limit;
}

int32_t form(cell* v, cell* buffer, cell* part, int32_t limit) {
  return serialize(v, series::node_of(buffer), false, part, limit, false);
}

int32_t mold(cell* v, cell* buffer, bool only, bool all, bool, cell* part, int32_t limit,
             int32_t) {
  node_t out = series::node_of(buffer);
  cell vec = *v;
  if (!only) {
    string::append_ascii(out, "make vector! [");
    limit -= 14;
  }
  uint32_t t = vec.data3, width = width_of(&vec);
  if (count_of(&vec) > 0 && width == default_width(t)) {
    limit = serialize(&vec, out, all, part, limit, true);
    if (!only) {
      string::append_ascii(out, "]");
      --limit;
    }
    return limit;
  }
  // The long form names the element type and width; /only leaves out the outer brackets alone.
  char bits[4];
  auto r = std::to_chars(bits, bits + sizeof bits, width * 8);
  string::append_ascii(out, registry::name(t));
  string::append_ascii(out, " ");
  string::append_ascii(out, std::string_view(bits, size_t(r.ptr - bits)));
  string::append_ascii(out, " [");
  limit -= static_cast<int32_t>(registry::name_length(t) + 1) + int32_t(r.ptr - bits) + 3;
  limit = serialize(&vec, out, all, part, limit, true);
  string::append_ascii(out, only ? "]" : "]]");
  return limit - (only ? 1 : 2);
}

// ---------------------------------------------------------------------------------------------
// compare.

int32_t compare(cell* a, cell* b, int32_t op) {
  if (type_of(b) != type::vector) return -2;
  if (a->data3 != b->data3) fire(err::script_not_same_type);
  if (a->data2 == b->data2 && a->data1 == b->data1) return 0;
  if (op == 9) return -1;
  cell x = *a, y = *b;
  uint32_t lx = series::length_from_head(&x), ly = series::length_from_head(&y);
  if (lx != ly && (op <= 2 || op == 12)) return 1;
  if (lx == 0 && ly == 0) return 0;
  uint32_t n = lx < ly ? lx : ly;
  uint32_t wx = width_of(&x), wy = width_of(&y), t = x.data3;
  for (uint32_t i = 0; i < n; ++i) {
    cell p, q;
    read_element(element_address(&x, x.data1 + i), wx, t, &p);
    read_element(element_address(&y, y.data1 + i), wy, t, &q);
    if (is_float_type(t)) {
      double dp = get_double(&p), dq = get_double(&q);
      if (dp < dq) return -1;
      if (dp > dq) return 1;
    } else {
      int64_t ip = t == type::char_ ? int64_t(char_type::code_of(&p)) : int64_t(integer_type::value_of(&p));
      int64_t iq = t == type::char_ ? int64_t(char_type::code_of(&q)) : int64_t(integer_type::value_of(&q));
      if (ip != iq) return ip < iq ? -1 : 1;
    }
  }
  return lx < ly ? -1 : lx > ly ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// append, insert and change.

/*
 * What a value adds to a vector: a block's values from its index (at most `limit` when limit is
 * positive), a vector's elements from its head (change only), or the value itself. Every one is
 * checked against the element datatype here, before anything changes.
 */
struct source {
  cell value;
  uint32_t count;
  bool is_block;
  bool is_vector;
};

source gather(const cell* value, uint32_t element_type, int32_t limit, bool paths, bool vectors) {
  source src{*value, 1, false, false};
  uint32_t t = type_of(value);
  if (t == type::block || t == type::paren || t == type::hash || (paths && is_any_path(t))) {
    int32_t n = block::rs_length(&src.value);
    if (n < 0) n = 0;
    if (limit > 0 && limit < n) n = limit;
    src.count = static_cast<uint32_t>(n);
    src.is_block = true;
    for (int32_t i = 0; i < n; ++i) check_value(block::rs_head(&src.value) + i, element_type);
  } else if (vectors && t == type::vector) {
    if (value->data3 != element_type) check_value(value, element_type);
    src.count = series::length_from_head(&src.value);
    src.is_vector = true;
  } else {
    check_value(value, element_type);
  }
  return src;
}

// Writes the source's elements at element index `at` of the vector.
void write_source(const cell* v, uint32_t at, const source& src) {
  uint32_t width = width_of(v);
  if (src.is_block) {
    for (uint32_t i = 0; i < src.count; ++i)
      write_element(element_address_rw(v, at + i), width, block::rs_head(const_cast<cell*>(&src.value)) + i);
  } else if (src.is_vector) {
    // Element by element, so that a source of another width converts.
    uint32_t from_width = width_of(&src.value);
    const uint8_t* from = element_address(&src.value, src.value.data1);
    for (uint32_t i = 0; i < src.count; ++i) {
      cell e;
      read_element(from + size_t(i) * from_width, from_width, src.value.data3, &e);
      write_element(element_address_rw(v, at + i), width, &e);
    }
  } else {
    write_element(element_address_rw(v, at), width, &src.value);
  }
}

cell* insert(cell* series, cell* value, int32_t part, bool, int32_t dup, bool append) {
  uint32_t element_type = series->data3;
  source src = gather(value, element_type, part, false, false);
  if (src.count == 0) return series;
  uint32_t head = clamp_head(series);
  auto what = append ? series::change::append : series::change::insert;
  bool owned = series::owned_before(series, what, value, static_cast<int32_t>(head), part);
  if (owned) {  // the owner's handler ran code: look again
    src = gather(value, element_type, part, false, false);
    head = clamp_head(series);
    if (src.count == 0) return series;
  }
  uint32_t count = count_of(series), width = width_of(series);
  uint64_t total = uint64_t(src.count) * uint32_t(dup);
  if ((total + count) * width >= memory::max_series_bytes) fire(err::internal_no_memory);
  uint32_t at = append || head == count ? count : head;
  reserve_elements(series, count + total);
  series_buffer* s = buffer_of(series);
  uint8_t* p = element_address_rw(series, at);
  std::memmove(p + total * width, p, size_t(count - at) * width);
  s->tail += static_cast<uint32_t>(total * width);
  write_source(series, at, src);
  fill_pattern(element_address_rw(series, at), size_t(src.count) * width, size_t(total) * width);
  if (!append) series->data1 = at + static_cast<uint32_t>(total);
  if (owned) series::owned_after(series, what, value, static_cast<int32_t>(at),
                                 static_cast<int32_t>(total));
  return series;
}

cell* change(cell* series, cell* value, int32_t part, bool, int32_t dup) {
  uint32_t element_type = series->data3;
  source src = gather(value, element_type, -1, true, true);
  uint32_t head = clamp_head(series);
  uint32_t rest = count_of(series) - head;
  uint64_t total = uint64_t(src.count) * uint32_t(dup);
  auto replaced_count = [&] {
    uint64_t r = part >= 0 ? uint64_t(part) : total;
    return static_cast<uint32_t>(r < rest ? r : rest);
  };
  uint32_t replaced = replaced_count();
  bool owned = series::owned_before(series, series::change::change, value,
                                    static_cast<int32_t>(head), static_cast<int32_t>(replaced));
  if (owned) {  // the owner's handler ran code: look again
    src = gather(value, element_type, -1, true, true);
    head = clamp_head(series);
    rest = count_of(series) - head;
    total = uint64_t(src.count) * uint32_t(dup);
    replaced = replaced_count();
  }
  uint32_t count = count_of(series), width = width_of(series);
  uint64_t new_count = uint64_t(count) + total - replaced;
  if (new_count * width >= memory::max_series_bytes) fire(err::internal_no_memory);
  // A vector source in the same buffer is copied before the elements move.
  cell snapshot_cell;
  if (src.is_vector && src.value.data2 == series->data2) {
    alloc(&snapshot_cell, src.count, element_type, width_of(&src.value));
    series_buffer* t = buffer_of(&snapshot_cell);
    std::memcpy(t->tail_rw(), element_address(&src.value, src.value.data1),
                size_t(src.count) * t->unit());
    t->tail += src.count * t->unit();
    src.value = snapshot_cell;
  }
  reserve_elements(series, new_count);
  series_buffer* s = buffer_of(series);
  uint8_t* p = element_address_rw(series, head);
  if (total != replaced)
    std::memmove(p + total * width, p + size_t(replaced) * width,
                 size_t(count - head - replaced) * width);
  s->tail = s->offset + static_cast<uint32_t>(new_count * width);
  if (src.count > 0) {
    write_source(series, head, src);
    fill_pattern(element_address_rw(series, head), size_t(src.count) * width, size_t(total) * width);
  }
  if (owned) series::owned_after(series, series::change::change, value,
                                 static_cast<int32_t>(head), static_cast<int32_t>(total));
  uint64_t end = head + total;
  series->data1 = static_cast<uint32_t>(end < new_count ? end : new_count);
  return series;
}

// take: one element is read as the vector reads its elements (characters unsigned).
cell* take(cell* series, cell* part, bool deep, bool last) {
  if (part) return series::take(series, part, deep, last);
  cell one;
  if (!series::take_one(series, last, &one)) {
    series->header = type::none;
    return series;
  }
  *series = one;
  return series;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Elements.

uint32_t default_width(uint32_t element_type) { return is_float_type(element_type) ? 8 : 4; }

cell* alloc(cell* c, uint32_t count, uint32_t element_type, uint32_t width) {
  if (uint64_t(count) * width >= memory::max_series_bytes) fire(err::internal_no_memory);
  node_t node = memory::alloc_units(count, width);
  *c = cell{type::vector, 0, node, element_type};
  return c;
}

void read_element(const uint8_t* p, uint32_t width, uint32_t element_type, cell* out) {
  if (is_float_type(element_type)) {
    double d;
    if (width == 4) {
      float f;
      std::memcpy(&f, p, 4);
      d = f;
    } else {
      std::memcpy(&d, p, 8);
    }
    *out = cell{element_type, 0, 0, 0};
    put_double(out, d);
    return;
  }
  uint32_t raw = p[0];
  if (width >= 2) raw |= uint32_t(p[1]) << 8;
  if (width == 4) raw |= uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  if (element_type == type::integer) {
    int32_t v = width == 1 ? int32_t(int8_t(raw)) : width == 2 ? int32_t(int16_t(raw)) : int32_t(raw);
    raw = static_cast<uint32_t>(v);
  }
  *out = cell{element_type, 0, raw, 0};
}

void write_element(uint8_t* p, uint32_t width, const cell* value) {
  if (is_float_type(type_of(value))) {
    double d = get_double(value);
    if (width == 4) {
      float f = static_cast<float>(d);
      std::memcpy(p, &f, 4);
    } else {
      std::memcpy(p, &d, 8);
    }
    return;
  }
  uint32_t raw = value->data2;
  p[0] = uint8_t(raw);
  if (width >= 2) p[1] = uint8_t(raw >> 8);
  if (width == 4) {
    p[2] = uint8_t(raw >> 16);
    p[3] = uint8_t(raw >> 24);
  }
}

void init() {
  registry::add(type::vector,
                {.make = make,
                 .form = form,
                 .mold = mold,
                 .compare = compare,
                 .add = math::add,
                 .divide = math::divide,
                 .multiply = math::multiply,
                 .remainder = math::remainder,
                 .subtract = math::subtract,
                 .and_t = math::and_t,
                 .or_t = math::or_t,
                 .xor_t = math::xor_t,
                 .append = insert,
                 .change = change,
                 .insert = insert,
                 .take = take},
                inherited(slot::random, slot::reflect, slot::eval_path, slot::at, slot::back,
                          slot::clear, slot::copy, slot::find, slot::head, slot::head_q,
                          slot::index_q, slot::length_q, slot::move, slot::next, slot::pick,
                          slot::poke, slot::remove, slot::reverse, slot::select, slot::sort,
                          slot::skip, slot::tail, slot::tail_q, slot::modify));
}

}  // namespace kaz::vector

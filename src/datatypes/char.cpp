// char!: one Unicode code point, 0 to 10FFFFh. Its arithmetic runs on the integer! core and
// must land inside that range; no case is folded anywhere here.
#include <cmath>

#include "core/actions.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "datatypes/integer.h"
#include "datatypes/scalar_types.h"
#include "datatypes/vector_math.h"
#include "memory/unicode_utf8.h"

namespace kaz::char_type {

namespace {

constexpr int32_t max_code_point = 0x10FFFF;

cell* set(cell* c, int32_t v) {
  c->header = type::char_;
  c->data2 = static_cast<uint32_t>(v);
  return c;
}

// A number as a code point; outside the range raises out-of-range with the number.
int32_t checked(double d, const cell* spec) {
  d = std::trunc(d);
  if (!(d >= 0 && d <= max_code_point)) fire(err::script_out_of_range, spec);
  return static_cast<int32_t>(d);
}

cell* make(cell* proto, cell* spec, uint32_t) {
  uint32_t st = type_of(spec);
  switch (st) {
    case type::char_:
    case type::integer:
      return set(proto, checked(double(integer_type::value_of(spec)), spec));
    case type::float_:
    case type::percent:
      return set(proto, checked(get_double(spec), spec));
    case type::binary: {
      cell b = *spec;
      uint32_t n = string::length_from_head(&b);
      if (n == 0) fire_with_type(err::script_bad_to_arg, type::char_, spec);
      const uint8_t* p = string::rs_head(&b);
      int32_t cp;
      unicode::fast_decode_utf8_char(p, p + n, cp);
      return set(proto, cp < 0 ? 0xFFFE : cp);
    }
    default: {
      if (!is_any_string(st)) fire_with_type(err::script_bad_to_arg, type::char_, spec);
      cell s = *spec;
      if (string::length_from_head(&s) == 0)
        fire_with_type(err::script_bad_to_arg, type::char_, spec);
      return set(proto, static_cast<int32_t>(string::char_at_absolute(&s, series::index_of(&s))));
    }
  }
}

int32_t form(cell* v, cell* buffer, cell*, int32_t limit) {
  string::append_code_point(series::node_of(buffer), v->data2);
  return limit - 1;
}

int32_t mold(cell* v, cell* buffer, bool, bool all, bool, cell*, int32_t limit, int32_t) {
  node_t out = series::node_of(buffer);
  uint32_t before = memory::buffer_of(out)->length();
  string::append_ascii(out, "#\"");
  string::append_escaped_char(out, v->data2, 253, all);
  string::append_ascii(out, "\"");
  return limit - static_cast<int32_t>(memory::buffer_of(out)->length() - before);
}

int32_t compare(cell* a, cell* b, int32_t op) {
  uint32_t bt = type_of(b);
  if ((op == actions::op::strict_equal || op == actions::op::same || op == actions::op::find) &&
      bt != type::char_)
    return 1;
  if (bt != type::char_ && bt != type::integer) return -2;
  int32_t x = integer_type::value_of(a), y = integer_type::value_of(b);
  return x < y ? -1 : x > y ? 1 : 0;
}

void math_dispatch(math op) {
  cell* a = stack::arguments;
  cell* b = a + 1;
  int32_t n;
  switch (type_of(b)) {
    case type::char_:
    case type::integer:
      n = integer_type::value_of(b);
      break;
    case type::float_: {
      double d = std::trunc(get_double(b));
      if (integer_type::float_out_of_range(d)) fire(err::math_overflow);
      n = static_cast<int32_t>(d);
      break;
    }
    case type::vector:
      vector::math::scalar_first(static_cast<int>(op));
      return;
    default:
      fire_with_type(err::script_invalid_type, type_of(b));
  }
  // Division always truncates: #"d" / 3 is #"!".
  cell scratch{type::integer, 0, 0, 0};
  int32_t r = integer_type::math_op(integer_type::value_of(a), n, op,
                                    op == math::divide ? nullptr : &scratch);
  if (type_of(&scratch) != type::integer || r < 0 || r > max_code_point)
    fire(err::math_overflow);
  a->data2 = static_cast<uint32_t>(r);
}


using entries = math_entries<math_dispatch>;

}  // namespace

void init() {
  registry::add(type::char_,
                {.make = make,
                 .to = make,
                 .form = form,
                 .mold = mold,
                 .compare = compare,
                 .add = entries::add,
                 .divide = entries::divide,
                 .multiply = entries::multiply,
                 .remainder = entries::remainder,
                 .subtract = entries::subtract,
                 .and_t = entries::and_t,
                 .or_t = entries::or_t,
                 .xor_t = entries::xor_t},
                inherited(slot::random, slot::absolute, slot::even_q, slot::odd_q));
}

}  // namespace kaz::char_type

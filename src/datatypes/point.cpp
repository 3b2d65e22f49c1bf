// The routines point2D! and point3D! share. Arithmetic runs in doubles through the float! core
// and each coordinate is narrowed back to 32 bits when stored.
#include "datatypes/point.h"

#include <cmath>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/float.h"
#include "datatypes/number_text.h"
#include "datatypes/random.h"
#include "memory/murmur3.h"
#include "runtime/float_text.h"

namespace kaz::point {

uint32_t field_index(const cell* word, uint32_t limit) {
  static const uint32_t fields[3] = {symbol::resolve(symbol::make("x")),
                                     symbol::resolve(symbol::make("y")),
                                     symbol::resolve(symbol::make("z"))};
  uint32_t s = symbol::resolve(word::symbol_of(word));
  for (uint32_t i = 0; i < limit; ++i)
    if (fields[i] == s) return i + 1;
  return 0;
}

namespace {

bool is_field_word(uint32_t t) {
  return t == type::word || t == type::lit_word || t == type::set_word || t == type::get_word;
}

double number_of(const cell* c) {
  return type_of(c) == type::integer ? double(integer_type::value_of(c)) : get_double(c);
}

void math_dispatch(math op) {
  cell* a = stack::arguments;
  cell* b = a + 1;
  uint32_t n = dims(a);
  uint32_t tb = type_of(b);
  double operand[3];
  if (tb == type::pair && type_of(a) == type::point2d) from_pair(b);
  tb = type_of(b);
  if (tb == type_of(a)) {
    for (uint32_t i = 0; i < n; ++i) operand[i] = coord(b, i);
  } else if (tb == type::integer) {
    operand[0] = operand[1] = operand[2] = double(integer_type::value_of(b));
  } else if (tb == type::float_ || tb == type::percent) {
    double d = get_double(b);
    // Factors and divisors apply at full precision; terms are narrowed like the coordinates.
    if (op != math::multiply && op != math::divide) d = static_cast<float>(d);
    operand[0] = operand[1] = operand[2] = d;
  } else {
    fire_with_type(err::script_invalid_type, tb);
  }
  for (uint32_t i = 0; i < n; ++i)
    set_coord(a, i, static_cast<float>(float_type::math_op(coord(a, i), operand[i], op)));
}

// A coordinate as a float! cell.
cell* coordinate_value(cell* out, const cell* p, uint32_t i) {
  return float_type::init_cell(out, coord(p, i));
}

}  // namespace


cell* make(cell* proto, cell* spec, uint32_t t) {
  uint32_t n = t == type::point3d ? 3 : 2;
  uint32_t st = type_of(spec);
  if (st == t) return spec;
  switch (st) {
    case type::integer:
    case type::float_: {
      float f = static_cast<float>(number_of(spec));
      return init_cell(proto, t, f, f, f);
    }
    case type::pair: {
      // A pair gives x and y; a point3D! made from it has z 0.
      cell p = *spec;
      from_pair(&p);
      return init_cell(proto, t, coord(&p, 0), coord(&p, 1));
    }
    case type::point2d:
      // Only point3D! gets here: z 0.
      return init_cell(proto, t, coord(spec, 0), coord(spec, 1));
    case type::block: {
      cell b = *spec;
      if (block::rs_length(&b) < static_cast<int32_t>(n)) fire(err::syntax_malconstruct, spec);
      float v[3] = {0, 0, 0};
      for (uint32_t i = 0; i < n; ++i) {
        cell e = block::rs_head(&b)[i];
        if (type_of(&e) != type::integer && type_of(&e) != type::float_)
          fire(err::syntax_malconstruct, spec);
        v[i] = static_cast<float>(number_of(&e));
      }
      return init_cell(proto, t, v[0], v[1], v[2]);
    }
    case type::string: {
      cell v;
      if (!number_text::scan_value(spec, &v) || type_of(&v) != t)
        fire_with_type(err::script_bad_to_arg, t, spec);
      *proto = v;
      return proto;
    }
    default:
      fire_with_type(err::script_bad_to_arg, t, spec);
  }
}

const cell* random(cell* v, bool seed, bool secure, bool) {
  uint32_t n = dims(v);
  if (seed) {
    uint32_t words[3] = {v->data1, v->data2, v->data3};
    random::seed(hashtable::murmur3(words, n * 4, 0));
    v->header = type::unset;
    return v;
  }
  for (uint32_t i = 0; i < n; ++i) {
    float c = coord(v, i);
    if (c != 0.0f) set_coord(v, i, static_cast<float>(float_type::random_double(c, secure)));
  }
  return v;
}

int32_t form(cell* v, cell* buffer, cell*, int32_t limit) {
  char text[3 * float_text_size + 8];
  size_t len = 0;
  text[len++] = '(';
  for (uint32_t i = 0; i < dims(v); ++i) {
    if (i) {
      text[len++] = ',';
      text[len++] = ' ';
    }
    len += float_::to_cstring(float_text_out(text + len, float_text_size), coord(v, i),
                              float_::text_kind::point, float_type::pretty_print_q);
  }
  text[len++] = ')';
  string::append_ascii(series::node_of(buffer), std::string_view(text, len));
  return limit - static_cast<int32_t>(len);
}

int32_t mold(cell* v, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  return form(v, buffer, part, limit);
}

int32_t compare(cell* a, cell* b, int32_t op) {
  uint32_t ta = type_of(a), tb = type_of(b);
  cell other = *b;
  if (tb != ta && (op == actions::op::strict_equal || op == actions::op::same ||
                   op == actions::op::find))
    return 1;
  if (ta == type::point2d && tb == type::pair) from_pair(&other);
  if (type_of(&other) != ta) return -2;
  uint32_t n = dims(a);
  switch (op) {
    case actions::op::equal:
    case actions::op::not_equal:
      for (uint32_t i = 0; i < n; ++i)
        if (!float_type::near_equal32(coord(a, i), coord(&other, i))) return 1;
      return 0;
    case actions::op::strict_equal:
      for (uint32_t i = 0; i < n; ++i)
        if (!(coord(a, i) == coord(&other, i))) return 1;
      return 0;
    case actions::op::same:
      return a->data1 == other.data1 && a->data2 == other.data2 &&
                     (n == 2 || a->data3 == other.data3)
                 ? 0
                 : 1;
    default:
      for (uint32_t i = 0; i < n; ++i) {
        float x = coord(a, i), y = coord(&other, i);
        if (float_type::near_equal32(x, y)) continue;
        double d = double(x) - double(y);
        return d < 0.0 ? -1 : d > 0.0 ? 1 : 0;
      }
      return 0;
  }
}

// The coordinate an index or a field word names (1-based), 0 for anything else.
uint32_t field_of(const cell* element, uint32_t n) {
  uint32_t t = type_of(element);
  if (t == type::integer) {
    int32_t i = integer_type::value_of(element);
    return i >= 1 && i <= static_cast<int32_t>(n) ? static_cast<uint32_t>(i) : 0;
  }
  return is_field_word(t) ? field_index(element, n) : 0;
}

const cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t,
                bool, bool, bool) {
  uint32_t f = field_of(element, dims(parent));
  if (f == 0) fire(err::script_invalid_path, path, element);
  if (value) {
    uint32_t vt = type_of(value);
    if (vt != type::integer && vt != type::float_) fire_with_type(err::script_invalid_type, vt);
    set_coord(parent, f - 1, static_cast<float>(number_of(value)));
    return value;
  }
  static cell component;
  return coordinate_value(&component, parent, f - 1);
}

const cell* pick(cell* v, int32_t index, cell* boxed) {
  uint32_t n = dims(v);
  uint32_t f;
  if (is_field_word(type_of(boxed))) {
    f = field_index(boxed, n);
    if (f == 0) fire(err::script_cannot_use, boxed, v);
  } else {
    if (index < 1 || index > static_cast<int32_t>(n)) fire(err::script_out_of_range, boxed);
    f = static_cast<uint32_t>(index);
  }
  cell p = *v;
  return coordinate_value(v, &p, f - 1);
}

void absolute() {
  cell* a = stack::arguments;
  for (uint32_t i = 0; i < dims(a); ++i) set_coord(a, i, std::fabs(coord(a, i)));
}

cell* negate(cell* v) {
  for (uint32_t i = 0; i < dims(v); ++i) set_coord(v, i, 0.0f - coord(v, i));
  return v;
}

cell* reverse(cell* v, cell*, cell*) {
  uint32_t last = dims(v) - 1;
  float first = coord(v, 0);
  set_coord(v, 0, coord(v, last));
  set_coord(v, last, first);
  return v;
}

cell* round(cell* v, cell* scale, bool even, bool down, bool half_down, bool floor,
            bool ceiling, bool half_ceiling) {
  round_flags f{even, down, half_down, floor, ceiling, half_ceiling};
  if (scale && type_of(scale) == type::money) fire_not_related_here(type::money);
  for (uint32_t i = 0; i < dims(v); ++i) {
    cell c;
    cell* r = float_type::round_cell(coordinate_value(&c, v, i), scale, f);
    set_coord(v, i, static_cast<float>(number_of(r)));
  }
  return v;
}

using entries = math_entries<math_dispatch>;

action_row row() {
  return {.make = make,
          .random = random,
          .to = make,
          .form = form,
          .mold = mold,
          .eval_path = eval_path,
          .compare = compare,
          .absolute = absolute,
          .add = entries::add,
          .divide = entries::divide,
          .multiply = entries::multiply,
          .negate = negate,
          .remainder = entries::remainder,
          .round = round,
          .subtract = entries::subtract,
          .pick = pick,
          .reverse = reverse};
}

}  // namespace kaz::point

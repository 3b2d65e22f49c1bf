// pair!: two 32-bit integers x and y (10x20). Arithmetic that cannot stay integral (an
// overflow, an inexact division, a float factor) gives a point2D!.
#include <cmath>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/number_text.h"
#include "datatypes/point.h"
#include "datatypes/random.h"
#include "datatypes/scalar_types.h"

namespace kaz::pair_type {

namespace {

inline int32_t x_of(const cell* c) { return static_cast<int32_t>(c->data2); }
inline int32_t y_of(const cell* c) { return static_cast<int32_t>(c->data3); }

cell* set(cell* c, int32_t x, int32_t y) {
  c->header = type::pair;
  c->data1 = 0;
  c->data2 = static_cast<uint32_t>(x);
  c->data3 = static_cast<uint32_t>(y);
  return c;
}

// A float used as a component: infinities and NaN are refused, the rest truncated and checked.
int32_t component_of(const cell* f) {
  double d = get_double(f);
  if (!std::isfinite(d)) fire(err::script_invalid_arg, f);
  return integer_type::from_double(d);
}

// Runs the operation again in floats, both operands made point2D!.
void as_points(math op) {
  cell* a = stack::arguments;
  point::from_pair(a);
  if (type_of(a + 1) == type::pair) point::from_pair(a + 1);
  number_dispatch::run_math_slot(op);
}

void math_dispatch(math op) {
  cell* a = stack::arguments;
  cell* b = a + 1;
  int32_t x2, y2;
  switch (type_of(b)) {
    case type::pair:
      x2 = x_of(b);
      y2 = y_of(b);
      break;
    case type::integer:
      x2 = y2 = integer_type::value_of(b);
      break;
    case type::point2d:
      as_points(op);
      return;
    case type::float_:
    case type::percent: {
      double d = get_double(b);
      if (op == math::multiply || op == math::divide) {
        if (std::isnan(d) || (op == math::multiply && std::isinf(d)))
          fire(err::script_invalid_arg, b);
        as_points(op);
        return;
      }
      x2 = y2 = component_of(b);
      break;
    }
    default:
      fire_with_type(err::script_invalid_type, type_of(b));
  }
  cell scratch{type::integer, 0, 0, 0};
  int32_t x = integer_type::math_op(x_of(a), x2, op, &scratch);
  bool exact = type_of(&scratch) == type::integer;
  int32_t y = exact ? integer_type::math_op(y_of(a), y2, op, &scratch) : 0;
  if (!exact || type_of(&scratch) != type::integer) {
    set(b, x2, y2);
    as_points(op);
    return;
  }
  set(a, x, y);
}


// make and to.
cell* make(cell* proto, cell* spec, uint32_t) {
  switch (type_of(spec)) {
    case type::pair:
      return spec;
    case type::integer: {
      int32_t n = integer_type::value_of(spec);
      return set(proto, n, n);
    }
    case type::float_: {
      int32_t n = integer_type::from_double(get_double(spec));
      return set(proto, n, n);
    }
    case type::point2d: {
      cell x = *spec, y = *spec;
      float_type::init_cell(&x, point::coord(spec, 0));
      float_type::init_cell(&y, point::coord(spec, 1));
      return set(proto, component_of(&x), component_of(&y));
    }
    case type::block: {
      cell b = *spec;
      if (block::rs_length(&b) < 2) fire(err::syntax_malconstruct, spec);
      int32_t v[2];
      for (uint32_t i = 0; i < 2; ++i) {
        cell e = block::rs_head(&b)[i];
        if (type_of(&e) == type::integer) v[i] = integer_type::value_of(&e);
        else if (type_of(&e) == type::float_) v[i] = integer_type::from_double(get_double(&e));
        else fire(err::syntax_malconstruct, spec);
      }
      return set(proto, v[0], v[1]);
    }
    case type::string: {
      cell v;
      if (!number_text::scan_value(spec, &v) || type_of(&v) != type::pair)
        fire_with_type(err::script_bad_to_arg, type::pair, spec);
      return set(proto, x_of(&v), y_of(&v));
    }
    default:
      fire_with_type(err::script_bad_to_arg, type::pair, spec);
  }
}

const cell* random(cell* v, bool seed, bool secure, bool) {
  if (seed) {
    random::seed(v->data2 ^ v->data3);
    v->header = type::unset;
    return v;
  }
  // x is drawn first: the order of a call's arguments is the compiler's to choose.
  int32_t x = random::next_in_range(x_of(v), secure);
  int32_t y = random::next_in_range(y_of(v), secure);
  return set(v, x, y);
}

int32_t form(cell* v, cell* buffer, cell*, int32_t limit) {
  char text[26];
  size_t n = integer_type::to_decimal(text, x_of(v));
  text[n++] = 'x';
  n += integer_type::to_decimal(text + n, y_of(v));
  string::append_ascii(series::node_of(buffer), std::string_view(text, n));
  return limit - static_cast<int32_t>(n);
}

int32_t mold(cell* v, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  return form(v, buffer, part, limit);
}

int32_t compare(cell* a, cell* b, int32_t op) {
  uint32_t tb = type_of(b);
  if (tb != type::pair && (op == actions::op::strict_equal || op == actions::op::same ||
                           op == actions::op::find))
    return 1;
  if (tb == type::point2d) {
    cell p = *a;
    point::from_pair(&p);
    return point::compare(&p, b, op);
  }
  if (tb != type::pair) return -2;
  int32_t x1 = x_of(a), x2 = x_of(b);
  if (x1 != x2) return x1 < x2 ? -1 : 1;
  int32_t y1 = y_of(a), y2 = y_of(b);
  return y1 < y2 ? -1 : y1 > y2 ? 1 : 0;
}

// The component an index or a field word names: 1 x, 2 y, 0 for anything else.
uint32_t field_of(const cell* element) {
  uint32_t t = type_of(element);
  if (t == type::integer) {
    int32_t i = integer_type::value_of(element);
    return i == 1 || i == 2 ? static_cast<uint32_t>(i) : 0;
  }
  if (is_any_word(t) && t != type::issue && t != type::refinement)
    return point::field_index(element, 2);
  return 0;
}

const cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t,
                bool, bool, bool) {
  uint32_t f = field_of(element);
  if (f == 0) fire(err::script_invalid_path, path, element);
  if (value) {
    if (type_of(value) != type::integer) fire_with_type(err::script_invalid_type, type_of(value));
    (f == 1 ? parent->data2 : parent->data3) = static_cast<uint32_t>(integer_type::value_of(value));
    return value;
  }
  static cell component;
  return integer_type::init_cell(&component, f == 1 ? x_of(parent) : y_of(parent));
}

const cell* pick(cell* v, int32_t index, cell* boxed) {
  uint32_t f;
  if (is_any_word(type_of(boxed))) {
    f = point::field_index(boxed, 2);
    if (f == 0) fire(err::script_cannot_use, boxed, v);
  } else {
    if (index != 1 && index != 2) fire(err::script_out_of_range, boxed);
    f = static_cast<uint32_t>(index);
  }
  int32_t c = f == 1 ? x_of(v) : y_of(v);
  v->header = type::integer;
  v->data2 = static_cast<uint32_t>(c);
  return v;
}

void absolute() {
  cell* a = stack::arguments;
  set(a, integer_type::abs(x_of(a)), integer_type::abs(y_of(a)));
}

cell* negate(cell* v) {
  if (x_of(v) == INT32_MIN || y_of(v) == INT32_MIN) fire(err::math_overflow);
  return set(v, -x_of(v), -y_of(v));
}

cell* reverse(cell* v, cell*, cell*) { return set(v, y_of(v), x_of(v)); }

// Each component rounded as an integer! with the same refinements; a float scale's result is
// truncated back to an integer.
int32_t round_component(int32_t n, cell* scale, const round_flags& f) {
  if (!scale || type_of(scale) == type::integer)
    return integer_type::round_value(n, scale ? integer_type::value_of(scale) : 1, f);
  cell v{type::float_, 0, 0, 0};
  float_type::init_cell(&v, double(n));
  cell* r = float_type::round_cell(&v, scale, f);
  if (type_of(r) == type::integer) return integer_type::value_of(r);
  double d = std::trunc(get_double(r));
  if (integer_type::float_out_of_range(d)) fire(err::math_overflow);
  return static_cast<int32_t>(d);
}

cell* round(cell* v, cell* scale, bool even, bool down, bool half_down, bool floor,
            bool ceiling, bool half_ceiling) {
  round_flags f{even, down, half_down, floor, ceiling, half_ceiling};
  if (scale && type_of(scale) == type::money) fire_not_related_here(type::money);
  if (scale && type_of(scale) == type::pair) {
    cell sx{type::integer, 0, scale->data2, 0}, sy{type::integer, 0, scale->data3, 0};
    return set(v, round_component(x_of(v), &sx, f), round_component(y_of(v), &sy, f));
  }
  return set(v, round_component(x_of(v), scale, f), round_component(y_of(v), scale, f));
}

using entries = math_entries<math_dispatch>;

}  // namespace

void init() {
  registry::add(type::pair, {.make = make,
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
                             .and_t = entries::and_t,
                             .or_t = entries::or_t,
                             .xor_t = entries::xor_t,
                             .pick = pick,
                             .reverse = reverse});
}

}  // namespace kaz::pair_type

namespace kaz::point {

void from_pair(cell* c) {
  int32_t x = static_cast<int32_t>(c->data2), y = static_cast<int32_t>(c->data3);
  init_cell(c, type::point2d, static_cast<float>(x), static_cast<float>(y));
}

}  // namespace kaz::point

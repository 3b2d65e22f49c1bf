// Comparison, logic and sign natives: the seven comparisons, same?, not, type?, max and min,
// and the sign tests.
#include <algorithm>
#include <cmath>

#include "core/actions.h"
#include "core/context.h"
#include "core/registry.h"
#include "core/symbol.h"
#include "core/truth.h"
#include "datatypes/float.h"
#include "datatypes/point.h"
#include "datatypes/scalar_types.h"
#include "eval/natives.h"

namespace kaz::natives {

namespace {

flow compare_values(int32_t op) {
  bool r = actions::compare(stack::arguments, stack::arguments + 1, op);
  cell v{type::logic, r ? 1u : 0u, 0, 0};
  stack::set_result_only(&v);
  return flow::normal;
}

bool same(const cell* a, const cell* b) {
  uint32_t t = type_of(a);
  if (t != type_of(b)) return false;
  switch (t) {
    case type::datatype_:
    case type::logic:
    case type::object:
      return a->data1 == b->data1;
    case type::char_:
    case type::integer:
    case type::bitset:
      return a->data2 == b->data2;
    case type::float_:
    case type::percent:
    case type::pair:
    case type::time:
    case type::op:
      return a->data2 == b->data2 && a->data3 == b->data3;
    case type::none:
    case type::unset:
      return true;
    case type::native:
    case type::action:
    case type::point2d:
      return a->data1 == b->data1 && a->data2 == b->data2;
    case type::tuple:
    case type::money:
      return actions::compare_direct(a, b, actions::op::strict_equal) == 0;
    default:
      if (is_any_block(t) || is_any_string(t) || t == type::binary || t == type::vector ||
          t == type::image)
        return a->data2 == b->data2 && a->data1 == b->data1;
      return a->data1 == b->data1 && a->data2 == b->data2 && a->data3 == b->data3;
  }
}

}  // namespace

flow equal_q(const int32_t*) { return compare_values(actions::op::equal); }
flow not_equal_q(const int32_t*) { return compare_values(actions::op::not_equal); }
flow strict_equal_q(const int32_t*) { return compare_values(actions::op::strict_equal); }
flow lesser_q(const int32_t*) { return compare_values(actions::op::lesser); }
flow greater_q(const int32_t*) { return compare_values(actions::op::greater); }
flow lesser_or_equal_q(const int32_t*) { return compare_values(actions::op::lesser_or_equal); }
flow greater_or_equal_q(const int32_t*) {
  return compare_values(actions::op::greater_or_equal);
}

flow same_q(const int32_t*) {
  bool r = same(stack::arguments, stack::arguments + 1);
  cell v{type::logic, r ? 1u : 0u, 0, 0};
  stack::set_result_only(&v);
  return flow::normal;
}

flow not_(const int32_t*) {
  cell v{type::logic, is_false(stack::arguments) ? 1u : 0u, 0, 0};
  stack::set_result_only(&v);
  return flow::normal;
}

flow type_q(const int32_t* refs) {
  uint32_t t = type_of(stack::arguments);
  cell v;
  if (refs[0] >= 0) {
    context::intern_global(symbol::make(registry::name(t)), &v);
  } else {
    v = cell{type::datatype_, t, 0, 0};
  }
  stack::set_result_only(&v);
  return flow::normal;
}

// ---------------------------------------------------------------------------------------------
// max and min

namespace {

bool is_number(uint32_t t) { return t == type::integer || t == type::float_ || t == type::percent; }
bool is_point(uint32_t t) { return t == type::point2d || t == type::point3d; }

double number_of(const cell* c) {
  return type_of(c) == type::integer ? double(integer_type::value_of(c)) : get_double(c);
}

template <class T>
T pick_bound(T x, T y, bool max) {
  return max ? (x < y ? y : x) : (y < x ? y : x);
}

// A number met by a pair!: as an integer, refusing what no integer can hold.
int32_t pair_scalar(const cell* c) {
  if (type_of(c) == type::integer) return integer_type::value_of(c);
  double d = get_double(c);
  if (!std::isfinite(d)) fire_with_type(err::script_type_limit, type::integer);
  return integer_type::from_double(d);
}

// A number met by a tuple!: clamped to a byte.
uint8_t tuple_scalar(const cell* c) {
  double d = number_of(c);
  return d > 255.0 ? 255 : d >= 1.0 ? static_cast<uint8_t>(d) : 0;
}

inline uint32_t tuple_length(const cell* t) { return (t->header >> 19) & 0xF; }
inline uint8_t* tuple_bytes(cell* t) { return reinterpret_cast<uint8_t*>(t) + 4; }

// The composites combine component by component into a value of their own type; answers false
// for the operand pairs they do not combine.
bool combine(const cell* a, const cell* b, bool max, cell* out) {
  uint32_t ta = type_of(a), tb = type_of(b);
  if (ta == type::pair || tb == type::pair) {
    const cell* p = ta == type::pair ? a : b;
    const cell* o = p == a ? b : a;
    int32_t ox, oy;
    if (type_of(o) == type::pair) {
      ox = pair_type::x_of(o);
      oy = pair_type::y_of(o);
    } else if (type_of(o) == type::integer || type_of(o) == type::float_) {
      ox = oy = pair_scalar(o);
    } else {
      return false;
    }
    *out = cell{type::pair, 0,
                static_cast<uint32_t>(pick_bound(pair_type::x_of(p), ox, max)),
                static_cast<uint32_t>(pick_bound(pair_type::y_of(p), oy, max))};
    return true;
  }
  if (is_point(ta) || is_point(tb)) {
    const cell* p = is_point(ta) ? a : b;
    const cell* o = p == a ? b : a;
    uint32_t n = point::dims(p);
    float other[3];
    if (type_of(o) == type_of(p)) {
      for (uint32_t i = 0; i < n; ++i) other[i] = point::coord(o, i);
    } else if (type_of(o) == type::integer || type_of(o) == type::float_) {
      other[0] = other[1] = other[2] = static_cast<float>(number_of(o));
    } else {
      return false;
    }
    *out = *p;
    out->header = type_of(p);
    for (uint32_t i = 0; i < n; ++i) {
      // A NaN coordinate gives way to the other one.
      float x = point::coord(p, i), y = other[i];
      point::set_coord(out, i, std::isnan(x) ? y : std::isnan(y) ? x : pick_bound(x, y, max));
    }
    return true;
  }
  if (ta == type::tuple || tb == type::tuple) {
    const cell* t = ta == type::tuple ? a : b;
    const cell* o = t == a ? b : a;
    *out = *t;
    out->header = t->header & ~new_line_flag;
    uint8_t* bytes = tuple_bytes(out);
    if (type_of(o) == type::tuple) {
      // Tuples of different lengths meet at the longer length, missing bytes read as 0.
      cell other = *o;
      uint32_t len = std::max(tuple_length(t), tuple_length(o));
      for (uint32_t i = 0; i < len; ++i) bytes[i] = pick_bound(bytes[i], tuple_bytes(&other)[i], max);
      out->header = (out->header & ~(0xFu << 19)) | (len << 19);
    } else if (type_of(o) == type::integer || type_of(o) == type::float_) {
      uint8_t s = tuple_scalar(o);
      for (uint32_t i = 0; i < tuple_length(t); ++i) bytes[i] = pick_bound(bytes[i], s, max);
    } else {
      return false;
    }
    return true;
  }
  return false;
}

flow max_or_min(bool max) {
  cell a = *stack::arguments, b = *(stack::arguments + 1);
  cell r;
  uint32_t ta = type_of(&a), tb = type_of(&b);
  bool numbers = is_number(ta) && is_number(tb);
  if (numbers && ta != type::integer && std::isnan(get_double(&a))) {
    r = a;  // NaN is not ordered against numbers: it wins
  } else if (numbers && tb != type::integer && std::isnan(get_double(&b))) {
    r = b;
  } else if (!combine(&a, &b, max, &r)) {
    bool lesser = actions::compare(&a, &b, actions::op::lesser);
    r = max ? (lesser ? b : a) : (lesser ? a : b);
  }
  stack::set_result_only(&r);
  return flow::normal;
}

// ---------------------------------------------------------------------------------------------
// Sign tests

// -1, 0 or 1; NaN counts as 0. Types outside the native's spec raise expect-arg.
int32_t sign_of(const cell* v) {
  switch (type_of(v)) {
    case type::integer:
      return integer_type::sign(integer_type::value_of(v));
    case type::float_:
    case type::percent:
    case type::time: {
      double d = get_double(v);
      return d > 0.0 ? 1 : d < 0.0 ? -1 : 0;
    }
    case type::money: {
      cell zero{type::integer, 0, 0, 0};
      int32_t r = actions::compare_direct(v, &zero, actions::op::lesser);
      if (r != -2) return r < 0 ? -1 : r > 0 ? 1 : 0;
      [[fallthrough]];
    }
    default:
      fire_expect_arg(v, 0);
  }
}

flow logic_result(bool r) {
  cell v{type::logic, r ? 1u : 0u, 0, 0};
  stack::set_result_only(&v);
  return flow::normal;
}

bool zero_value(const cell* v) {
  switch (type_of(v)) {
    case type::integer:
    case type::char_:
      return v->data2 == 0;
    case type::float_:
    case type::percent:
    case type::time:
      return get_double(v) == 0.0;
    case type::pair:
      return pair_type::x_of(v) == 0 && pair_type::y_of(v) == 0;
    case type::tuple:
      return v->data1 == 0 && v->data2 == 0 && v->data3 == 0;
    case type::money: {
      cell zero{type::integer, 0, 0, 0};
      return actions::compare_direct(v, &zero, actions::op::equal) == 0;
    }
    case type::point2d:
    case type::point3d:
      for (uint32_t i = 0; i < point::dims(v); ++i)
        if (point::coord(v, i) != 0.0f) return false;
      return true;
    default:
      return false;
  }
}

}  // namespace

flow max(const int32_t*) { return max_or_min(true); }
flow min(const int32_t*) { return max_or_min(false); }

flow negative_q(const int32_t*) { return logic_result(sign_of(stack::arguments) < 0); }
flow positive_q(const int32_t*) { return logic_result(sign_of(stack::arguments) > 0); }

flow sign_q(const int32_t*) {
  cell v{type::integer, 0, static_cast<uint32_t>(sign_of(stack::arguments)), 0};
  stack::set_result_only(&v);
  return flow::normal;
}

flow zero_q(const int32_t*) { return logic_result(zero_value(stack::arguments)); }

flow nan_q(const int32_t*) {
  const cell* v = stack::arguments;
  uint32_t t = type_of(v);
  return logic_result((t == type::float_ || t == type::percent) && std::isnan(get_double(v)));
}

}  // namespace kaz::natives

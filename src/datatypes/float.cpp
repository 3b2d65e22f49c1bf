// float!: doubles. Division by zero gives infinities and NaN, never an error; `equal?` is
// near-equality while `strict-equal?` and the orderings compare exactly.
#include "datatypes/float.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "datatypes/number_text.h"
#include "datatypes/random.h"
#include "datatypes/scalar_types.h"
#include "datatypes/vector_math.h"
#include "runtime/float_text.h"

namespace kaz::float_type {

bool pretty_print_q = true;

namespace {

uint64_t bits_of(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

uint32_t bits_of(float f) {
  uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

// Doubles mapped onto one ordered line of integers, -0.0 and 0.0 at the same point.
uint64_t ordered(double d) {
  uint64_t b = bits_of(d);
  return (b >> 63) ? 0 - b : b | (uint64_t(1) << 63);
}

}  // namespace

bool near_equal(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return false;
  if (a == b) return true;
  if (std::fabs(a - b) < 2.220446049250313e-16) return true;
  uint64_t x = ordered(a), y = ordered(b);
  return (x > y ? x - y : y - x) <= 10;
}

bool near_equal32(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) return false;
  if (a == b) return true;
  uint32_t ba = bits_of(a), bb = bits_of(b);
  int64_t ma = ba & 0x7FFFFFFF, mb = bb & 0x7FFFFFFF;
  bool na = ba >> 31, nb = bb >> 31;
  if (ma < 0x7F7FFFFF && mb < 0x7F7FFFFF) {
    if (ma == 0 && mb == 0) return true;
    int64_t x = na ? -ma : ma, y = nb ? -mb : mb;
    return (x > y ? x - y : y - x) <= 10;
  }
  return na == nb && (ma > mb ? ma - mb : mb - ma) < 0x100000;
}

double math_op(double left, double right, math op) {
  switch (op) {
    case math::add: return left + right;
    case math::subtract: return left - right;
    case math::multiply: return left * right;
    case math::divide: return left / right;
    case math::remainder:
      if (std::isnan(right)) return right;
      if (std::isinf(right)) return std::isfinite(left) ? left : std::nan("");
      return std::fmod(left, right);
    default: {
      cell name;
      stack::get_call_name(&name);
      cell dt{type::datatype_, type::float_, 0, 0};
      fire(err::script_cannot_use, &name, &dt);
    }
  }
}

void math_dispatch(math op) {
  cell* a = stack::arguments;
  cell* b = a + 1;
  uint32_t ta = type_of(a), tb = type_of(b);
  switch (tb) {
    case type::tuple:
    case type::money: {
      // These take a number first operand themselves.
      slot_fn::stack f = number_dispatch::math_slot(tb, op);
      if (!f) fire_with_type(err::script_invalid_type, tb);
      f();
      return;
    }
    case type::pair:
    case type::point2d:
    case type::point3d:
      if (ta == type::time) fire_with_type(err::script_invalid_type, tb);
      if (op == math::subtract || op == math::divide || op == math::remainder)
        fire_not_related(op, tb);
      number_dispatch::swap_arguments();
      number_dispatch::run_math_slot(op);
      return;
    case type::vector:
      vector::math::scalar_first(static_cast<int>(op));
      return;
    case type::char_:
      if (ta == type::time || ta == type::percent) fire_with_type(err::script_invalid_type, tb);
      break;
    case type::integer:
    case type::float_:
    case type::percent:
    case type::time:
      break;
    default:
      fire_with_type(err::script_invalid_type, tb);
  }
  double left = ta == type::integer ? double(integer_type::value_of(a)) : get_double(a);
  double right = (tb == type::integer || tb == type::char_) ? double(integer_type::value_of(b))
                                                            : get_double(b);
  double r = math_op(left, right, op);
  uint32_t result_type = (ta == type::time || tb == type::time) ? type::time
                         : ta == type::integer                  ? type::float_
                                                                : ta;
  set_type(a, result_type);
  put_double(a, r);
}

int32_t compare_values(cell* a, cell* b, int32_t op) {
  uint32_t tb = type_of(b);
  if ((op == actions::op::strict_equal || op == actions::op::same || op == actions::op::find) &&
      type_of(a) != tb)
    return 1;
  double x = get_double(a), y;
  switch (tb) {
    case type::integer:
      y = double(integer_type::value_of(b));
      break;
    case type::float_:
    case type::percent:
    case type::time:
      y = get_double(b);
      break;
    case type::money: {
      // The money comparison reads a float second operand; the order flips back.
      slot_fn::compare f = registry::row(type::money).compare;
      if (!f) return -2;
      int32_t r = f(b, a, op);
      return r == -2 ? -2 : -r;
    }
    default:
      return -2;
  }
  switch (op) {
    case actions::op::equal:
    case actions::op::not_equal:
      return near_equal(x, y) ? 0 : 1;
    case actions::op::strict_equal:
      return x == y ? 0 : 1;
    case actions::op::same:
      return bits_of(x) == bits_of(y) ? 0 : 1;
    default:
      if (std::isnan(x) || std::isnan(y)) {
        // Every ordering test with a NaN is false.
        switch (op) {
          case actions::op::lesser:
          case actions::op::lesser_or_equal:
            return 1;
          case actions::op::greater:
          case actions::op::greater_or_equal:
            return -1;
          default:
            return 0;
        }
      }
      return x < y ? -1 : x > y ? 1 : 0;
  }
}

void power_in_place(cell* number, cell* exponent) {
  uint32_t et = type_of(exponent);
  if (et != type::integer && et != type::float_) fire_expect_arg(exponent, 1);
  double e = et == type::integer ? double(integer_type::value_of(exponent)) : get_double(exponent);
  put_double(number, std::pow(get_double(number), e));
}

cell* round_cell(cell* v, cell* scale, const round_flags& f) {
  bool percent = type_of(v) == type::percent;
  double value = get_double(v);
  double s = percent ? 0.01 : 1.0;
  if (scale) {
    switch (type_of(scale)) {
      case type::integer:
        s = std::fabs(double(integer_type::value_of(scale)));
        break;
      case type::float_:
      case type::percent:
      case type::time:
        s = std::fabs(get_double(scale));
        break;
      default:
        fire_not_related_here(type_of(scale));
    }
    if (percent) s /= 100.0;
  }
  // A scale finer than the value's precision (0 included) leaves it as it is.
  if (s == 0.0 || s < std::fabs(value) * 0x1p-53) return v;

  // Scales below 1 multiply by their inverse, which is exact for 0.1, 0.01...; a subnormal
  // scale has no finite inverse and divides directly.
  double inverse = s >= 1.0 ? 0.0 : 1.0 / s;
  bool by_scale = s >= 1.0 || std::isinf(inverse);
  double e = by_scale ? value / s : value * inverse;
  double h = std::fabs(e);
  double low = std::floor(h);
  double half = low + 0.5;
  double c;
  if (f.down) c = std::copysign(low, e);
  else if (f.floor) c = std::floor(e);
  else if (f.ceiling) c = std::ceil(e);
  else if (half < h) c = std::copysign(std::ceil(h), e);
  else if (half > h) c = std::copysign(low, e);
  else if (f.even) c = std::copysign(std::fmod(h, 2.0) < 1.0 ? low : std::ceil(h), e);
  else if (f.half_down) c = std::copysign(low, e);
  else if (f.half_ceiling) c = std::ceil(e);
  else c = std::copysign(std::ceil(h), e);
  double result;
  if (by_scale) {
    result = c * s;
    // A finite value rounded up past the largest double gives infinity, not DBL_MAX itself.
    if (std::fabs(result) >= DBL_MAX) fire(err::math_overflow);
  } else {
    result = c / inverse;
  }

  if (scale && type_of(scale) == type::integer) {
    double t = std::trunc(result);
    if (integer_type::float_out_of_range(t)) fire(err::math_overflow);
    return integer_type::init_cell(v, static_cast<int32_t>(t));
  }
  if (scale) set_type(v, type_of(scale));
  put_double(v, result);
  return v;
}

double random_double(double max, bool secure) {
  if (secure) {
    double a = random::secure_next(), b = random::secure_next();
    // The fraction first: (a/.. + b) * max overflows to infinity for a max near DBL_MAX.
    return max * ((a / 2147483647.0 + b) / 2147483648.0);
  }
  return max * (random::next() / 2147483647.0);
}

namespace {

bool is_number(uint32_t t) { return t == type::integer || t == type::float_; }

double number_of(const cell* c) {
  return type_of(c) == type::integer ? double(integer_type::value_of(c)) : get_double(c);
}

// A block of exactly two numbers: mantissa and exponent (make float! [1.5 3] is 1500.0).
double from_block(cell* spec, uint32_t wanted) {
  cell b = *spec;
  if (block::rs_length(&b) != 2) fire_with_type(err::script_bad_to_arg, wanted, spec);
  cell m = block::rs_head(&b)[0];
  cell e = block::rs_head(&b)[1];
  if (!is_number(type_of(&m))) fire_with_type(err::script_bad_to_arg, type::float_, &m);
  if (!is_number(type_of(&e))) fire_with_type(err::script_bad_to_arg, type::float_, &e);
  return number_of(&m) * std::pow(10.0, std::trunc(number_of(&e)));
}

// The first bytes of a binary, at most eight, as the bit pattern of a double.
double from_binary(cell* bin) {
  cell b = *bin;
  uint32_t n = string::length_from_head(&b);
  const uint8_t* p = string::rs_head(&b);
  uint64_t bits = 0;
  for (uint32_t i = 0; i < n && i < 8; ++i) bits = bits << 8 | p[i];
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

double from_text(cell* spec, uint32_t wanted) {
  double d;
  bool ok = wanted == type::percent ? number_text::to_percent(spec, &d)
                                    : number_text::to_float(spec, &d);
  if (!ok) fire_with_type(err::script_bad_to_arg, wanted, spec);
  return d;
}

// make and to: the wanted type is float!, or percent! through inheritance.
cell* make(cell* proto, cell* spec, uint32_t wanted) {
  uint32_t st = type_of(spec);
  double d;
  switch (st) {
    case type::integer:
    case type::char_:
      d = double(integer_type::value_of(spec));
      break;
    case type::float_:
    case type::percent:
    case type::time:
      d = get_double(spec);
      break;
    case type::money:
      if (!hooks.from_money) fire_with_type(err::script_bad_to_arg, wanted, spec);
      d = hooks.from_money(spec);
      break;
    case type::binary:
      d = from_binary(spec);
      break;
    case type::block:
    case type::paren:
    case type::hash:
      d = from_block(spec, wanted);
      break;
    default:
      if (!is_any_string(st)) fire_with_type(err::script_bad_to_arg, wanted, spec);
      d = from_text(spec, wanted);
      break;
  }
  proto->header = wanted;
  proto->data1 = 0;
  put_double(proto, d);
  return proto;
}

const cell* random(cell* v, bool seed, bool secure, bool) {
  if (seed) {
    random::seed(v->data2 ^ v->data3);
    v->header = type::unset;
    return v;
  }
  put_double(v, random_double(get_double(v), secure));
  return v;
}

int32_t append_text(cell* buffer, const char* text, size_t n, int32_t limit) {
  string::append_ascii(series::node_of(buffer), std::string_view(text, n));
  return limit - static_cast<int32_t>(n);
}

int32_t form(cell* v, cell* buffer, cell*, int32_t limit) {
  char text[float_text_size];
  size_t n = float_::to_cstring(float_text_out(text, float_text_size), get_double(v),
                                float_::text_kind::float64, pretty_print_q);
  return append_text(buffer, text, n, limit);
}

// Mold shows every digit needed to read the value back.
int32_t mold(cell* v, cell* buffer, bool, bool, bool, cell*, int32_t limit, int32_t) {
  char text[float_text_size];
  size_t n = sysrt::form_float(float_text_out(text, float_text_size), get_double(v), 0, true);
  return append_text(buffer, text, n, limit);
}

void absolute() { put_double(stack::arguments, std::fabs(get_double(stack::arguments))); }


cell* negate(cell* v) {
  put_double(v, 0.0 - get_double(v));
  return v;
}

void power() { power_in_place(stack::arguments, stack::arguments + 1); }

cell* round(cell* v, cell* scale, bool even, bool down, bool half_down, bool floor,
            bool ceiling, bool half_ceiling) {
  if (scale && type_of(scale) == type::money) fire_not_related_here(type::money);
  return round_cell(v, scale, {even, down, half_down, floor, ceiling, half_ceiling});
}

// Parity of the value truncated toward zero, for every magnitude (NaN and infinities have
// none).
bool even_q(cell* v) { return std::fmod(std::trunc(get_double(v)), 2.0) == 0.0; }
bool odd_q(cell* v) { return std::fabs(std::fmod(std::trunc(get_double(v)), 2.0)) == 1.0; }

}  // namespace

conversion_hooks hooks;

using entries = math_entries<math_dispatch>;

void init() {
  registry::add(type::float_, {.make = make,
                               .random = random,
                               .to = make,
                               .form = form,
                               .mold = mold,
                               .compare = compare_values,
                               .absolute = absolute,
                               .add = entries::add,
                               .divide = entries::divide,
                               .multiply = entries::multiply,
                               .negate = negate,
                               .power = power,
                               .remainder = entries::remainder,
                               .round = round,
                               .subtract = entries::subtract,
                               .even_q = even_q,
                               .odd_q = odd_q});
}

}  // namespace kaz::float_type

// integer!: 32-bit signed integers. add, subtract and multiply that overflow, and a division
// that is not exact, give float!; a composite second operand (pair!, points, tuple!, date!,
// vector!, money!) takes over the operation.
#include "datatypes/integer.h"

#include <cmath>
#include <cstring>

#include "core/actions.h"
#include "core/function.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/float.h"
#include "datatypes/number_text.h"
#include "datatypes/random.h"
#include "datatypes/scalar_types.h"
#include "datatypes/simple_types.h"
#include "datatypes/vector_math.h"

namespace kaz {

void fire_with_type(err e, uint32_t type_id, const cell* arg2) {
  cell dt{type::datatype_, type_id, 0, 0};
  fire(e, &dt, arg2);
}

void fire_not_related(math op, uint32_t type_id) {
  static const char* const names[] = {"add", "subtract", "multiply", "divide",
                                      "remainder", "or~", "and~", "xor~"};
  cell word{type::word, 0, symbol::make(names[static_cast<uint32_t>(op)]), 0xFFFFFFFF};
  cell dt{type::datatype_, type_id, 0, 0};
  fire(err::script_not_related, &word, &dt);
}

void fire_not_related_here(uint32_t type_id) {
  cell name;
  stack::get_call_name(&name);
  cell dt{type::datatype_, type_id, 0, 0};
  fire(err::script_not_related, &name, &dt);
}

void fire_expect_arg(const cell* value, uint32_t n) {
  cell name;
  stack::get_call_name(&name);
  cell dt{type::datatype_, type_of(value), 0, 0};
  cell word;
  function::spec_word_at(n, &word);
  fire(err::script_expect_arg, &name, &dt, &word);
}

namespace number_dispatch {

slot_fn::stack math_slot(uint32_t type_id, math op) {
  const action_row& row = registry::row(type_id);
  switch (op) {
    case math::add: return row.add;
    case math::subtract: return row.subtract;
    case math::multiply: return row.multiply;
    case math::divide: return row.divide;
    case math::remainder: return row.remainder;
    case math::or_: return row.or_t;
    case math::and_: return row.and_t;
    case math::xor_: return row.xor_t;
  }
  return nullptr;
}

void run_math_slot(math op) {
  cell* a = stack::arguments;
  slot_fn::stack f = math_slot(type_of(a), op);
  if (!f) fire_with_type(err::script_invalid_type, type_of(a));
  f();
}

void swap_arguments() {
  cell t = stack::arguments[0];
  stack::arguments[0] = stack::arguments[1];
  stack::arguments[1] = t;
}

void hand_to_composite(math op) {
  swap_arguments();
  if (op == math::subtract) {
    // n - c is (-c) + n.
    cell* c = stack::arguments;
    slot_fn::unary neg = registry::row(type_of(c)).negate;
    if (!neg) fire_with_type(err::script_invalid_type, type_of(c));
    cell* r = neg(c);
    if (r != c) *c = *r;
    op = math::add;
  }
  run_math_slot(op);
}

}  // namespace number_dispatch

namespace integer_type {

conversion_hooks hooks;

int32_t abs(int32_t v) {
  if (v == INT32_MIN) fire(err::math_overflow);
  return v < 0 ? -v : v;
}

bool float_out_of_range(double d) {
  return std::isnan(d) || d > 2147483647.0 || d < -2147483648.0;
}

int32_t from_double(double d) {
  // Truncation first: -2147483648.9 and 2147483647.9 still fit.
  double t = std::trunc(d);
  if (float_out_of_range(t)) fire_with_type(err::script_type_limit, type::integer);
  return static_cast<int32_t>(t);
}

size_t to_decimal(char* out, int32_t v) {
  char digits[12];
  size_t n = 0;
  uint32_t m = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
  do {
    digits[n++] = static_cast<char>('0' + m % 10);
    m /= 10;
  } while (m);
  size_t len = 0;
  if (v < 0) out[len++] = '-';
  while (n) out[len++] = digits[--n];
  out[len] = '\0';
  return len;
}

int32_t math_op(int32_t left, int32_t right, math op, cell* result) {
  int32_t r = 0;
  auto to_float = [result](double d) {
    if (!result) return;
    result->header = type::float_;
    put_double(result, d);
  };
  switch (op) {
    case math::add:
      if (__builtin_add_overflow(left, right, &r)) {
        to_float(double(left) + double(right));
        return 0;
      }
      break;
    case math::subtract:
      if (__builtin_sub_overflow(left, right, &r)) {
        to_float(double(left) - double(right));
        return 0;
      }
      break;
    case math::multiply:
      if (__builtin_mul_overflow(left, right, &r)) {
        to_float(double(left) * double(right));
        return 0;
      }
      break;
    case math::divide:
      if (right == 0) fire(err::math_zero_divide);
      if (left == INT32_MIN && right == -1) fire(err::math_overflow);
      if (result && left % right != 0) {
        to_float(double(left) / double(right));
        return 0;
      }
      r = left / right;
      break;
    case math::remainder:
      if (right == 0) fire(err::math_zero_divide);
      if (left == INT32_MIN && right == -1) fire(err::math_overflow);
      r = left % right;
      break;
    case math::or_: r = left | right; break;
    case math::and_: r = left & right; break;
    case math::xor_: r = left ^ right; break;
  }
  if (result) result->data2 = static_cast<uint32_t>(r);
  return r;
}

void math_dispatch(math op) {
  cell* a = stack::arguments;
  cell* b = a + 1;
  switch (type_of(b)) {
    case type::integer:
    case type::char_:
      math_op(value_of(a), value_of(b), op, a);
      return;
    case type::float_:
    case type::percent:
    case type::time:
      float_type::math_dispatch(op);
      return;
    case type::money: {
      slot_fn::stack f = number_dispatch::math_slot(type::money, op);
      if (!f) fire_with_type(err::script_invalid_type, type::money);
      f();
      return;
    }
    case type::pair:
    case type::point2d:
    case type::point3d:
      // Only the commutative operations may swap their operands.
      if (op == math::divide || op == math::remainder) fire_not_related(op, type::integer);
      number_dispatch::hand_to_composite(op);
      return;
    case type::tuple:
      if (op == math::subtract || op == math::divide || op == math::remainder)
        fire_not_related(op, type::integer);
      number_dispatch::hand_to_composite(op);
      return;
    case type::vector:
      vector::math::scalar_first(static_cast<int>(op));
      return;
    case type::date:
      if (op != math::add) fire_not_related(op, type::integer);
      number_dispatch::swap_arguments();
      number_dispatch::run_math_slot(op);
      return;
    default:
      fire_with_type(err::script_invalid_type, type_of(b));
  }
}

int32_t round_value(int32_t value, int32_t scale, const round_flags& f) {
  // In 64 bits: the magnitude of -2147483648 and a scale of -2147483648 (2^31) both fit, and
  // a result is checked to fit only where it is made.
  int64_t s = scale < 0 ? -int64_t(scale) : int64_t(scale);
  if (s == 0) return value;
  int64_t a = value < 0 ? -int64_t(value) : int64_t(value);
  int64_t r = a % s;
  if (r == 0) return value;
  int64_t d = s - r;
  int64_t down = a - r;
  int64_t up64 = a + d;
  int64_t sg = value < 0 ? -1 : 1;
  auto fit = [](int64_t v) {
    if (v > INT32_MAX || v < INT32_MIN) fire(err::math_overflow);
    return static_cast<int32_t>(v);
  };
  // Every branch that may take the next multiple up checks it first, whatever the sign picks.
  auto up = [&] {
    if (up64 > INT32_MAX && !(value < 0 && up64 == -int64_t(INT32_MIN))) fire(err::math_overflow);
    return up64;
  };
  if (f.down) return fit(sg * down);
  if (f.floor) {
    int64_t u = up();
    return fit(value > 0 ? down : -u);
  }
  if (f.ceiling) {
    int64_t u = up();
    return fit(value > 0 ? u : -down);
  }
  if (r < d) return fit(sg * down);
  if (r > d) return fit(sg * up());
  if (f.even) return fit((a / s) % 2 == 0 ? sg * down : sg * up());
  if (f.half_down) return fit(sg * down);
  if (f.half_ceiling) {
    int64_t u = up();
    return fit(value > 0 ? u : -down);
  }
  return fit(sg * up());
}

namespace {

inline cell* set(cell* c, int32_t v) {
  c->header = type::integer;
  c->data2 = static_cast<uint32_t>(v);
  return c;
}

// The issue's name read as up to eight hexadecimal digits (#FFFFFFFF is -1).
int32_t from_issue(const cell* issue) {
  std::string_view name = symbol::spelling(word::symbol_of(issue));
  if (name.empty() || name.size() > 8) fire(err::script_invalid_data, issue);
  uint32_t v = 0;
  for (char ch : name) {
    uint32_t c = static_cast<uint8_t>(ch);
    uint32_t digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else fire(err::script_invalid_data, issue);
    v = v * 16 + digit;
  }
  return static_cast<int32_t>(v);
}

// The first bytes of a binary, at most four, read big-endian.
int32_t from_binary(cell* bin) {
  cell b = *bin;
  uint32_t n = string::length_from_head(&b);
  const uint8_t* p = string::rs_head(&b);
  uint32_t v = 0;
  for (uint32_t i = 0; i < n && i < 4; ++i) v = v << 8 | p[i];
  return static_cast<int32_t>(v);
}

cell* to(cell* proto, cell* spec, uint32_t) {
  uint32_t st = type_of(spec);
  if (st == type::integer) return spec;
  int32_t v;
  switch (st) {
    case type::char_:
      v = value_of(spec);
      break;
    case type::float_:
    case type::percent:
      v = from_double(get_double(spec));
      break;
    case type::time: {
      // Whole seconds, halves away from zero; a negative time mirrors a positive one (adding
      // 0.5 before truncating toward zero would make -1:00 -3599).
      double s = get_double(spec);
      v = from_double(s < 0 ? -std::trunc(-s + 0.5) : std::trunc(s + 0.5));
      break;
    }
    case type::money:
      if (!hooks.from_money) fire_with_type(err::script_bad_to_arg, type::integer, spec);
      v = hooks.from_money(spec);
      break;
    case type::date:
      if (!hooks.from_date) fire_with_type(err::script_bad_to_arg, type::integer, spec);
      return hooks.from_date(spec, proto);
    case type::binary:
      v = from_binary(spec);
      break;
    case type::issue:
      v = from_issue(spec);
      break;
    default:
      if (!is_any_string(st) || !number_text::to_integer(spec, &v))
        fire_with_type(err::script_bad_to_arg, type::integer, spec);
      break;
  }
  return set(proto, v);
}

cell* make(cell* proto, cell* spec, uint32_t t) {
  if (type_of(spec) == type::logic) return set(proto, logic_type::value_of(spec) == 1 ? 1 : 0);
  return to(proto, spec, t);
}

const cell* random(cell* v, bool seed, bool secure, bool) {
  if (seed) {
    random::seed(v->data2);
    v->header = type::unset;
    return v;
  }
  v->data2 = static_cast<uint32_t>(random::next_in_range(value_of(v), secure));
  return v;
}

int32_t form(cell* v, cell* buffer, cell*, int32_t limit) {
  char text[12];
  size_t n = to_decimal(text, value_of(v));
  string::append_ascii(series::node_of(buffer), std::string_view(text, n));
  return limit - static_cast<int32_t>(n);
}

int32_t mold(cell* v, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  return form(v, buffer, part, limit);
}

int32_t compare(cell* a, cell* b, int32_t op) {
  uint32_t bt = type_of(b);
  if ((op == actions::op::strict_equal || op == actions::op::same || op == actions::op::find) &&
      bt != type::integer)
    return 1;
  switch (bt) {
    case type::integer:
    case type::char_: {
      int32_t x = value_of(a), y = value_of(b);
      return x < y ? -1 : x > y ? 1 : 0;
    }
    case type::float_:
    case type::percent:
    case type::time: {
      cell x = *a;
      float_type::init_cell(&x, double(value_of(a)));
      return float_type::compare_values(&x, b, op);
    }
    case type::money: {
      // The money comparison reads an integer second operand; the order flips back.
      slot_fn::compare f = registry::row(type::money).compare;
      if (!f) return -2;
      int32_t r = f(b, a, op);
      return r == -2 ? -2 : -r;
    }
    default:
      return -2;
  }
}

void absolute() {
  cell* a = stack::arguments;
  a->data2 = static_cast<uint32_t>(abs(value_of(a)));
}


cell* negate(cell* v) {
  if (value_of(v) == INT32_MIN) fire(err::math_overflow);
  v->data2 = 0u - v->data2;
  return v;
}

cell* complement(cell* v) {
  v->data2 = ~v->data2;
  return v;
}

bool even_q(cell* v) { return (v->data2 & 1) == 0; }
bool odd_q(cell* v) { return (v->data2 & 1) == 1; }

// Exact powers by squaring; an overflow anywhere abandons the attempt.
bool exact_power(int32_t base, int32_t exponent, int32_t* out) {
  int32_t result = 1;
  int32_t square = base;
  uint32_t e = static_cast<uint32_t>(exponent);
  while (e) {
    if ((e & 1) && __builtin_mul_overflow(result, square, &result)) return false;
    e >>= 1;
    if (e && __builtin_mul_overflow(square, square, &square)) return false;
  }
  *out = result;
  return true;
}

void power() {
  cell* n = stack::arguments;
  cell* e = n + 1;
  uint32_t et = type_of(e);
  if (et != type::integer && et != type::float_) fire_expect_arg(e, 1);
  int32_t r;
  if (et == type::integer && value_of(e) >= 0 && exact_power(value_of(n), value_of(e), &r)) {
    n->data2 = static_cast<uint32_t>(r);
    return;
  }
  float_type::init_cell(n, double(value_of(n)));
  float_type::power_in_place(n, e);
}

cell* round(cell* v, cell* scale, bool even, bool down, bool half_down, bool floor,
            bool ceiling, bool half_ceiling) {
  round_flags f{even, down, half_down, floor, ceiling, half_ceiling};
  if (scale && type_of(scale) == type::money) fire_not_related_here(type::money);
  if (scale && type_of(scale) != type::integer) {
    float_type::init_cell(v, double(value_of(v)));
    return float_type::round_cell(v, scale, f);
  }
  v->data2 = static_cast<uint32_t>(round_value(value_of(v), scale ? value_of(scale) : 1, f));
  return v;
}

}  // namespace

using entries = math_entries<math_dispatch>;

void init() {
  registry::add(type::integer, {.make = make,
                                .random = random,
                                .to = to,
                                .form = form,
                                .mold = mold,
                                .compare = compare,
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
                                .odd_q = odd_q,
                                .and_t = entries::and_t,
                                .complement = complement,
                                .or_t = entries::or_t,
                                .xor_t = entries::xor_t});
}

}  // namespace integer_type
}  // namespace kaz

// time!: seconds in a double, with the h:mm:ss text, field paths and float!-like arithmetic.
#include "datatypes/time.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "datatypes/date.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/scalar_support.h"
#include "datatypes/scalar_types.h"
#include "datatypes/text_scan.h"
#include "runtime/float_text.h"

namespace kaz::time_type {

namespace {

using namespace scalar;

constexpr double seconds_per_hour = 3600.0;
constexpr double seconds_per_minute = 60.0;
constexpr double tolerance = 1e-6;  // one microsecond: text and even?/odd?

field_words<3> fields({"hour", "minute", "second"});

// The path and pick result of a field (copied by the caller before anything else runs).
cell field_result;

[[noreturn]] void throw_make_error(const cell* v) { fire_bad_to(type::time, v); }

// The number a time operand stands for, in seconds.
double seconds_of_operand(const cell* c) {
  return type_of(c) == type::integer ? integer_type::value_of(c) : get_double(c);
}

// [hours minutes seconds]: only the hours may be negative, and then the whole time is.
double from_block(cell* spec) {
  int32_t n = block::rs_length(spec);
  if (n > 3) throw_make_error(spec);
  static const double weight[3] = {seconds_per_hour, seconds_per_minute, 1.0};
  double total = 0.0;
  bool negative = false;
  for (int32_t i = 0; i < n; ++i) {
    const cell* v = block::rs_head(spec) + i;
    uint32_t t = type_of(v);
    if (!(t == type::integer || (i == 2 && t == type::float_))) throw_make_error(spec);
    double x = seconds_of_operand(v);
    if (x < 0) {
      if (i != 0) throw_make_error(spec);
      negative = true;
      x = -x;
    }
    total += x * weight[i];
  }
  return negative ? -total : total;
}

cell* make(cell* proto, cell* spec, uint32_t) {
  switch (type_of(spec)) {
    case type::time:
      return spec;
    case type::integer:
    case type::float_:
    case type::percent:
      proto->header = type::time;
      put_double(proto, seconds_of_operand(spec));
      return proto;
    case type::block:
    case type::paren:
    case type::hash: {
      double s = from_block(spec);
      proto->header = type::time;
      put_double(proto, s);
      return proto;
    }
    default:
      if (is_any_string(type_of(spec)) && scan_text_as(spec, type::time, proto)) return proto;
      throw_make_error(spec);
  }
}

int32_t form(cell* v, cell* buffer, cell*, int32_t limit) {
  return write_text(series::node_of(buffer), get_double(v), limit);
}

int32_t mold(cell* v, cell* buffer, bool, bool, bool, cell*, int32_t limit, int32_t) {
  return write_text(series::node_of(buffer), get_double(v), limit);
}

// A path element as a field index (0 when it names none).
int32_t element_index(const cell* e) {
  if (type_of(e) == type::integer) {
    int32_t i = integer_type::value_of(e);
    return i >= 1 && i <= 3 ? i : 0;
  }
  int32_t i = field_index(e);
  return i > 0 ? i : 0;
}

const cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t, bool,
                bool, bool) {
  int32_t index = element_index(element);
  if (index == 0) {
    cell e = *element;
    fire(err::script_invalid_path, path, &e);
  }
  double s = get_double(parent);
  if (!value) {
    get_field(s, index, &field_result);
    return &field_result;
  }
  put_double(parent, set_field(s, index, value));
  return value;
}

const cell* pick(cell* t, int32_t number, cell* picked) {
  cell n;
  const cell* boxed = scalar::pick_index(picked, number, &n);
  int32_t index;
  if (type_of(boxed) == type::integer) {
    index = integer_type::value_of(boxed);
    if (index < 1 || index > 3) fire(err::script_out_of_range, boxed);
  } else if (is_word(boxed)) {
    index = field_index(boxed, t);
    if (index < 0) fire(err::script_out_of_range, boxed);
  } else {
    fire(err::script_out_of_range, boxed);
  }
  cell out;
  get_field(get_double(t), index, &out);
  *t = out;
  return t;
}

/*
 * The arithmetic of a time! first operand is float!'s, in seconds, with these exceptions: a
 * date! is added to (time + date is the date later by that time), and the date subtracted from
 * or a time multiplied by refused; a time divided by a time is a float! ratio.
 */
void add() {
  if (type_of(stack::arguments + 1) == type::date) {
    number_dispatch::swap_arguments();
    date_type::add();
    return;
  }
  float_type::math_dispatch(math::add);
}

void subtract() {
  if (type_of(stack::arguments + 1) == type::date) fire_not_related(math::subtract, type::time);
  float_type::math_dispatch(math::subtract);
}

void multiply() {
  if (type_of(stack::arguments + 1) == type::time) fire_not_related(math::multiply, type::time);
  float_type::math_dispatch(math::multiply);
}

void divide() {
  bool ratio = type_of(stack::arguments + 1) == type::time;
  float_type::math_dispatch(math::divide);
  if (ratio) set_type(stack::arguments, type::float_);
}

// float! rounding of the seconds; the result stays a time! whatever the scale's type.
cell* round(cell* v, cell* scale, bool even, bool down, bool half_down, bool floor_, bool ceiling,
            bool half_ceiling) {
  round_flags f{even, down, half_down, floor_, ceiling, half_ceiling};
  // An integer! scale would make round_cell return an integer!, which a time beyond 32 bits of
  // seconds overflows; the result is a time! anyway, so round by the same scale as a float!.
  cell float_scale;
  if (scale && type_of(scale) == type::integer) {
    float_scale = *scale;
    float_type::init_cell(&float_scale, double(integer_type::value_of(scale)));
    scale = &float_scale;
  }
  cell* r = float_type::round_cell(v, scale, f);
  double s = type_of(r) == type::integer ? integer_type::value_of(r) : get_double(r);
  return init_cell(v, s);
}

// Whole seconds within the minute, nudged by the tolerance away from zero; -1 for NaN.
int64_t parity_seconds(const cell* v) {
  double s = get_double(v);
  if (std::isnan(s)) return -1;
  s = s >= 0 ? s + tolerance : s - tolerance;
  double f = std::isinf(s) ? 0.0 : std::trunc(std::fmod(s, seconds_per_minute));
  return static_cast<int64_t>(f);
}

bool even_q(cell* v) {
  int64_t f = parity_seconds(v);
  return f != -1 && (f & 1) == 0;
}

bool odd_q(cell* v) {
  int64_t f = parity_seconds(v);
  return f != -1 && (f & 1) != 0;
}

}  // namespace

cell* init_cell(cell* c, double seconds) {
  set_type(c, type::time);
  c->data1 = 0;
  put_double(c, seconds);
  return c;
}

cell* push(double seconds) { return init_cell(stack::reserve_cell(), seconds); }

double hours_of(double s) { return std::trunc(s / seconds_per_hour); }

int32_t minutes_of(double s) {
  if (!std::isfinite(s)) return 0;
  return static_cast<int32_t>(std::floor(std::fmod(std::fabs(s), seconds_per_hour) / 60.0));
}

double seconds_of(double s) { return std::fmod(s, seconds_per_minute); }

int32_t write_text(node_t out, double s, int32_t limit) {
  // The whole hours of the largest double take 305 digits.
  char text[float_text_size + 360];
  size_t n = 0;
  if (!std::isfinite(s)) {
    // No field splits an infinity or NaN: the number's own text stands for it.
    n = float_::to_cstring(float_text_out(text, float_text_size), s,
                           float_::text_kind::seconds, true);
    string::append_ascii(out, std::string_view(text, n));
    return limit - static_cast<int32_t>(n);
  }
  if (s < 0.0) {
    s = -s;
    if (s >= tolerance) text[n++] = '-';  // a time that shows as zero shows no sign
  }
  double sec = std::fmod(s, seconds_per_minute);
  char digits[float_text_size];
  size_t k = 0;
  if (sec >= tolerance) {
    k = float_::to_cstring(float_text_out(digits, float_text_size), sec,
                           float_::text_kind::seconds, true);
    // Seconds that round to "60" in six digits carry into the minutes (0:00:59.9999999 is
    // 0:01:00, not 0:00:60). s - sec is exact: a whole number of minutes.
    if (std::string_view(digits, k) == "60") {
      s = (s - sec) + seconds_per_minute;
      k = 0;
    }
  }
  n += static_cast<size_t>(std::snprintf(text + n, sizeof text - n, "%.0f:%02d:",
                                         std::floor(s / seconds_per_hour), minutes_of(s)));
  if (k == 0) {
    text[n++] = '0';
    text[n++] = '0';
  } else {
    if (k == 1 || digits[1] == '.') text[n++] = '0';
    std::memcpy(text + n, digits, k);
    n += k;
  }
  string::append_ascii(out, std::string_view(text, n));
  return limit - static_cast<int32_t>(n);
}

int32_t field_index(const cell* word, const cell* value) {
  int32_t i = fields.index_of(word);
  if (i < 0 && value && type_of(value) == type::time) {
    cell w = *word;
    cell v = *value;
    fire(err::script_cannot_use, &w, &v);
  }
  return i;
}

void get_field(double s, int32_t index, cell* out) {
  switch (index) {
    case 1: {
      double h = hours_of(s);
      if (h >= -2147483648.0 && h <= 2147483647.0) {
        *out = cell{type::integer, 0, static_cast<uint32_t>(static_cast<int32_t>(h)), 0};
      } else {
        *out = cell{type::float_, 0, 0, 0};
        put_double(out, h);
      }
      return;
    }
    case 2:
      *out = cell{type::integer, 0, static_cast<uint32_t>(minutes_of(s)), 0};
      return;
    default:
      *out = cell{type::float_, 0, 0, 0};
      put_double(out, seconds_of(s));
      return;
  }
}

/*
 * Setting a field keeps the others as the getters show them. The sign belongs to the whole
 * time, so hours, minutes and seconds are replaced in the magnitude: setting -1:30:00/hour to
 * -1 or /minute to 30 leaves it as it was, and an hour or seconds of another sign move the
 * sign with them (both getters show it).
 */
double set_field(double s, int32_t index, const cell* value) {
  uint32_t t = type_of(value);
  bool integer = t == type::integer;
  if (!(integer || (index == 3 && t == type::float_))) {
    cell v = *value;
    fire(err::script_invalid_arg, &v);
  }
  double x = seconds_of_operand(value);
  double magnitude = std::fabs(s);
  double hours = std::floor(magnitude / seconds_per_hour);
  double in_hour = magnitude - hours * seconds_per_hour;
  bool negative = s < 0.0;
  if (index == 3) {
    // As the hour: the seconds are replaced in the magnitude, so the minutes stay, and
    // seconds of another sign move the sign with them.
    if (x != 0.0) negative = x < 0.0;
    magnitude += std::fabs(x) - std::fabs(seconds_of(s));
  } else if (index == 1) {
    if (x != 0.0) negative = x < 0.0;
    magnitude = std::fabs(x) * seconds_per_hour + in_hour;
  } else {
    magnitude += (x - minutes_of(s)) * seconds_per_minute;
  }
  return negative ? -magnitude : magnitude;
}

void init() {
  registry::add(type::time,
                {.make = make,
                 .to = make,
                 .form = form,
                 .mold = mold,
                 .eval_path = eval_path,
                 .add = add,
                 .divide = divide,
                 .multiply = multiply,
                 .round = round,
                 .subtract = subtract,
                 .even_q = even_q,
                 .odd_q = odd_q,
                 .pick = pick},
                inherited(slot::random, slot::compare, slot::absolute, slot::negate,
                          slot::remainder));
}

}  // namespace kaz::time_type

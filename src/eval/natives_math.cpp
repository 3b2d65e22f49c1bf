// Math natives: bit shifts, hexadecimal issues, trigonometry in degrees or radians, logarithms,
// the exponential and the square root; and the builders of pairs and points from coordinates.
#include <cmath>

#include "core/context.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "datatypes/float.h"
#include "datatypes/point.h"
#include "eval/natives.h"
#include "runtime/angle.h"

namespace kaz::natives {

namespace {

constexpr double pi = 3.141592653589793;
constexpr double half_pi = pi / 2;
constexpr double epsilon = 2.220446049250313e-16;

inline cell* arg(uint32_t i) { return stack::arguments + i; }

double number_of(const cell* c) {
  return type_of(c) == type::integer ? double(integer_type::value_of(c)) : get_double(c);
}

// The result slot becomes float! holding d.
flow float_result(double d) {
  cell v;
  float_type::init_cell(&v, d);
  stack::set_result_only(&v);
  return flow::normal;
}

// The first argument in radians: as given with /radians, else degrees folded for the function.
double angle_argument(const int32_t* refs, sysrt::angle_kind kind) {
  double a = number_of(arg(0));
  return refs[0] >= 0 ? a : sysrt::angle_mod_360(a, kind);
}

// sine and cosine: results below the double epsilon are exactly 0.0 (sine 180 is 0.0).
flow sine_or_cosine(const int32_t* refs, sysrt::angle_kind kind) {
  double a = angle_argument(refs, kind);
  double r = kind == sysrt::angle_kind::sine ? std::sin(a) : std::cos(a);
  return float_result(std::fabs(r) < epsilon ? 0.0 : r);
}

// arcsine, arccosine, arctangent: radians, or degrees without /radians.
flow arc(const int32_t* refs, double (*f)(double)) {
  double r = f(number_of(arg(0)));
  return float_result(refs[0] >= 0 ? r : r * 180.0 / pi);
}

// The logarithms, exp and square-root read integer!, float! and percent! (50% is 0.5).
flow unary_float(double (*f)(double)) { return float_result(f(number_of(arg(0)))); }

float coordinate(const cell* c) { return static_cast<float>(number_of(c)); }

}  // namespace

flow shift(const int32_t* refs) {
  int32_t d = integer_type::value_of(arg(0));
  int32_t n = integer_type::value_of(arg(1));
  if (n < 0) n = 0;
  int32_t r;
  if (refs[0] >= 0) {
    r = n > 31 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(d) << n);
  } else if (refs[1] >= 0) {
    r = n > 31 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(d) >> n);
  } else {
    r = n > 31 ? (d < 0 ? -1 : 0) : d >> n;
  }
  cell v{type::integer, 0, static_cast<uint32_t>(r), 0};
  stack::set_result_only(&v);
  return flow::normal;
}

flow to_hex(const int32_t* refs) {
  std::string digits = string::hex_int32(integer_type::value_of(arg(0)), false);
  if (refs[0] >= 0) {
    cell* size = arg(static_cast<uint32_t>(refs[0]));
    int32_t n = integer_type::value_of(size);
    if (n <= 0) fire(err::script_invalid_arg, size);
    if (n < 8) digits.erase(0, 8 - static_cast<size_t>(n));
  }
  cell v;
  context::intern_global(symbol::make(digits), &v);
  set_type(&v, type::issue);
  stack::set_result_only(&v);
  return flow::normal;
}

flow sine(const int32_t* refs) { return sine_or_cosine(refs, sysrt::angle_kind::sine); }
flow cosine(const int32_t* refs) { return sine_or_cosine(refs, sysrt::angle_kind::cosine); }

// The quarter turns give infinities: tangent 90 is +infinity, -90 and 270 are -infinity.
flow tangent(const int32_t* refs) {
  double a = angle_argument(refs, sysrt::angle_kind::tangent);
  if (a == half_pi) return float_result(HUGE_VAL);
  if (a == -half_pi) return float_result(-HUGE_VAL);
  return float_result(std::tan(a));
}

flow arcsine(const int32_t* refs) { return arc(refs, std::asin); }
flow arccosine(const int32_t* refs) { return arc(refs, std::acos); }
flow arctangent(const int32_t* refs) { return arc(refs, std::atan); }

flow arctangent2(const int32_t* refs) {
  double r = std::atan2(number_of(arg(0)), number_of(arg(1)));
  return float_result(refs[0] >= 0 ? r : r * 180.0 / pi);
}

flow log_2(const int32_t*) {
  return unary_float([](double x) { return std::log(x) / 0.6931471805599453; });
}
flow log_10(const int32_t*) { return unary_float(std::log10); }
flow log_e(const int32_t*) { return unary_float(std::log); }
flow exp(const int32_t*) {
  return unary_float([](double x) { return std::pow(2.718281828459045, x); });
}
flow square_root(const int32_t*) { return unary_float(std::sqrt); }

flow as_pair(const int32_t*) {
  int32_t c[2];
  for (uint32_t i = 0; i < 2; ++i) {
    cell* v = arg(i);
    if (type_of(v) == type::integer) {
      c[i] = integer_type::value_of(v);
      continue;
    }
    if (!std::isfinite(get_double(v))) fire(err::script_invalid_arg, v);
    c[i] = integer_type::from_double(get_double(v));
  }
  cell p{type::pair, 0, static_cast<uint32_t>(c[0]), static_cast<uint32_t>(c[1])};
  stack::set_result_only(&p);
  return flow::normal;
}

flow as_point2d(const int32_t*) {
  cell p;
  point::init_cell(&p, type::point2d, coordinate(arg(0)), coordinate(arg(1)));
  stack::set_result_only(&p);
  return flow::normal;
}

flow as_point3d(const int32_t*) {
  cell p;
  point::init_cell(&p, type::point3d, coordinate(arg(0)), coordinate(arg(1)),
                   coordinate(arg(2)));
  stack::set_result_only(&p);
  return flow::normal;
}

}  // namespace kaz::natives

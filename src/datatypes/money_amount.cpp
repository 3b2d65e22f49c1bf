#include "datatypes/money_amount.h"

#include <cmath>

#include "datatypes/money.h"
#include "datatypes/scalar_support.h"
#include "runtime/fire.h"
#include "runtime/float_text.h"

namespace kaz::money_type {

namespace {

// Cell bytes 4-15 (the payload words, low byte first).
uint8_t payload_byte(const cell* c, uint32_t i) {
  uint32_t w = i < 4 ? c->data1 : i < 8 ? c->data2 : c->data3;
  return static_cast<uint8_t>(w >> (8 * (i % 4)));
}

[[noreturn]] void overflow() { fire_with_type(err::script_type_limit, type::money); }

units_t checked(units_t v) {
  if (v >= units_limit) overflow();
  return v;
}

uint32_t significant_digits(units_t v) {
  uint32_t n = 1;
  while (v >= 10) {
    v /= 10;
    ++n;
  }
  return n;
}

}  // namespace

uint32_t digit(const cell* m, uint32_t n) {
  uint8_t b = payload_byte(m, 1 + (n - 1) / 2);
  return (n % 2 == 1) ? b >> 4 : b & 0xF;
}

amount unpack(const cell* m) {
  amount a;
  for (uint32_t n = 1; n <= digit_count; ++n) a.units = a.units * 10 + digit(m, n);
  a.negative = negative_bit(m) && a.units != 0;
  a.currency = currency_of(m);
  return a;
}

cell* pack(cell* c, const amount& a) {
  uint8_t digits[digit_count];
  units_t v = a.units;
  for (uint32_t n = digit_count; n-- > 0;) {
    digits[n] = static_cast<uint8_t>(v % 10);
    v /= 10;
  }
  return init_cell(c, a.negative && a.units != 0, a.currency, digits);
}

int32_t compare_amounts(const amount& a, const amount& b) {
  int32_t sa = sign_of(a), sb = sign_of(b);
  if (sa != sb) return sa < sb ? -1 : 1;
  if (a.units == b.units) return 0;
  bool less = a.units < b.units;
  if (sa < 0) less = !less;
  return less ? -1 : 1;
}

amount add(const amount& a, const amount& b) {
  amount r;
  if (a.negative == b.negative) {
    r.units = checked(a.units + b.units);
    r.negative = a.negative;
  } else if (a.units >= b.units) {
    r.units = a.units - b.units;
    r.negative = a.negative;
  } else {
    r.units = b.units - a.units;
    r.negative = b.negative;
  }
  r.negative = r.negative && r.units != 0;
  return r;
}

amount multiply(const amount& a, const amount& b) {
  amount r;
  if (a.units == 0 || b.units == 0) return r;
  // Beyond 28 significant digits the product cannot fit (nor the 128 bits).
  if (significant_digits(a.units) + significant_digits(b.units) > 28) overflow();
  r.units = checked(a.units * b.units / unit_scale);
  r.negative = (a.negative != b.negative) && r.units != 0;
  return r;
}

amount divide(const amount& a, const amount& b) {
  if (b.units == 0) fire(err::math_zero_divide);
  amount r;
  r.units = checked(a.units * unit_scale / b.units);
  r.negative = (a.negative != b.negative) && r.units != 0;
  return r;
}

amount remainder(const amount& a, const amount& b) {
  if (b.units == 0) fire(err::math_zero_divide);
  amount r;
  r.units = a.units % b.units;
  r.negative = a.negative && r.units != 0;
  return r;
}

bool from_double(double x, amount& out, bool& inexact) {
  inexact = false;
  out = amount{};
  if (!std::isfinite(x) || std::fabs(x) >= 1e17) return false;
  if (x == 0.0) return true;
  if (std::fabs(x) < 1e-5) return false;
  sysrt::float_digits d = sysrt::float_to_digits(x, 0, false);
  units_t v = 0;
  for (int32_t i = 0; i < d.count; ++i) v = v * 10 + static_cast<uint32_t>(d.digits[i] - '0');
  // value = 0.d1 d2 ... x 10^decpt; in units that is the digits x 10^(decpt + 5 - count).
  int32_t shift = d.decpt + static_cast<int32_t>(fraction_digits) - d.count;
  if (shift >= 0) {
    v *= pow10(static_cast<uint32_t>(shift));
  } else {
    units_t p = pow10(static_cast<uint32_t>(-shift));
    inexact = v % p != 0;
    v /= p;
  }
  out.units = v;
  out.negative = d.negative && v != 0;
  return true;
}

amount from_integer(int64_t n) {
  amount a;
  a.units = static_cast<units_t>(n < 0 ? -n : n) * unit_scale;
  a.negative = n < 0;
  return a;
}

}  // namespace kaz::money_type

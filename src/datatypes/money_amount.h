// The amount of a money! value as one exact integer of 0.00001 units, for its arithmetic.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::money_type {

/*
 * The 22 packed decimal digits of a cell read as one 128-bit count of units (0.00001), below
 * 10^22. Sums, products and quotients of such counts are exact, so the arithmetic below gives
 * the same digits as working digit by digit, without floating point.
 */
using units_t = unsigned __int128;

struct amount {
  units_t units = 0;
  bool negative = false;  // never set on zero
  uint32_t currency = 0;
};

constexpr units_t pow10(uint32_t n) {
  units_t p = 1;
  while (n--) p *= 10;
  return p;
}
constexpr units_t unit_scale = pow10(5);  // units in 1
constexpr units_t units_limit = pow10(22);  // the first count that does not fit

amount unpack(const cell* m);
cell* pack(cell* c, const amount& a);
inline int32_t sign_of(const amount& a) { return a.units == 0 ? 0 : a.negative ? -1 : 1; }

// Signed order of two amounts (currencies not looked at).
int32_t compare_amounts(const amount& a, const amount& b);

// a + b, a * b, a / b (5 fraction digits, truncated) and a mod b with the sign of a; type-limit
// for a result beyond 22 digits, zero-divide for a zero divisor. The currency is left as 0.
amount add(const amount& a, const amount& b);
amount multiply(const amount& a, const amount& b);
amount divide(const amount& a, const amount& b);
amount remainder(const amount& a, const amount& b);

/*
 * The amount of a double from its shortest decimal digits, truncated after 5 fraction digits.
 * False for infinities, NaN, magnitudes of 1e17 or more and magnitudes below 0.00001 other than
 * zero. `inexact` tells whether nonzero digits were dropped.
 */
bool from_double(double x, amount& out, bool& inexact);
amount from_integer(int64_t n);

}  // namespace kaz::money_type

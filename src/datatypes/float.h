// float!: the IEEE 754 double, with the arithmetic, comparison and rounding that percent!,
// time!, integer! and the point types share.
#pragma once

#include <cstdint>

#include "datatypes/integer.h"
#include "runtime/cell.h"

namespace kaz::float_type {

// Pretty printing of float texts (near-zero and last-digit noise cleaned); on at start-up,
// switched by system/options/float/pretty?.
extern bool pretty_print_q;

inline double value_of(const cell* c) { return get_double(c); }

// Makes the cell a float! (header exactly float!, flags cleared).
inline cell* init_cell(cell* c, double d) {
  c->header = type::float_;
  c->data1 = 0;
  put_double(c, d);
  return c;
}

// The equality of `equal?`: NaN equals nothing; equal, closer than the double epsilon, or at
// most 10 units in the last place apart (across zero too).
bool near_equal(double a, double b);
// The same rule for the 32-bit coordinates of points.
bool near_equal32(float a, float b);

// The double operation core: add to remainder (IEEE results, no errors); any other operation
// raises cannot-use.
double math_op(double left, double right, math op);

// The arithmetic body of add, subtract, multiply, divide and remainder: the first stack
// argument a float!, percent!, time! or an integer! handed over.
void math_dispatch(math op);

// The compare slot of float!, percent! and time!.
int32_t compare_values(cell* a, cell* b, int32_t op);

// power: the first stack argument raised to an integer! or float! exponent, its type kept.
void power_in_place(cell* number, cell* exponent);

// round of a float!, percent! or time! cell in place (scale null without /to). With an
// integer! scale the result is an integer!, with another scale it takes the scale's type.
cell* round_cell(cell* value, cell* scale, const round_flags& f);

// A random double from 0 up to `max`.
double random_double(double max, bool secure);

// Conversions that datatypes built elsewhere provide when they register (null until then).
struct conversion_hooks {
  double (*from_money)(const cell* money) = nullptr;  // the amount as a double
};
extern conversion_hooks hooks;

void init();

}  // namespace kaz::float_type

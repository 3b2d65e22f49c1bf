// The math actions of vector!: element by element with another vector (a new vector), or with
// a scalar (the vector changed in place). Arguments are on the evaluation stack.
// A scalar's math with a vector as its second argument comes to scalar_first: scalar op
// element, in that order, into a new vector (the code numbers the operations as
// integer_type::math does).
#pragma once

namespace kaz::vector::math {

void scalar_first(int code);
void add();
void subtract();
void multiply();
void divide();
void remainder();
void and_t();
void or_t();
void xor_t();

}  // namespace kaz::vector::math

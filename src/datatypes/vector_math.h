// The math actions of vector!: element by element with another vector (a new vector), or with
// a scalar (the vector changed in place). Arguments are on the evaluation stack.
#pragma once

namespace kaz::vector::math {

void add();
void subtract();
void multiply();
void divide();
void remainder();
void and_t();
void or_t();
void xor_t();

}  // namespace kaz::vector::math

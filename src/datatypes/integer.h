// integer!: the 32-bit whole number, and the operation core that the other number types share
// (char!, pair!, tuple! and vector! combine their components through it).
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/registry.h"
#include "core/scalar_cell.h"
#include "runtime/cell.h"
#include "runtime/fire.h"

namespace kaz {

// The arithmetic operations, in the order every number type's math core numbers them.
enum class math : uint32_t { add, subtract, multiply, divide, remainder, or_, and_, xor_ };

// The stack entries of the math actions, each calling one dispatch routine with its operation.
template <void (*dispatch)(math)>
struct math_entries {
  static void add() { dispatch(math::add); }
  static void subtract() { dispatch(math::subtract); }
  static void multiply() { dispatch(math::multiply); }
  static void divide() { dispatch(math::divide); }
  static void remainder() { dispatch(math::remainder); }
  static void or_t() { dispatch(math::or_); }
  static void and_t() { dispatch(math::and_); }
  static void xor_t() { dispatch(math::xor_); }
};

// The refinements of `round`, in the order they are tried where several are given.
struct round_flags {
  bool even, down, half_down, floor, ceiling, half_ceiling;
};

// Errors that name a datatype: `fire(e, datatype, arg2)` with the datatype! of `type_id`.
[[noreturn]] void fire_with_type(err e, uint32_t type_id, const cell* arg2 = nullptr);
// script not-related with the word of the operation (add, subtract...) and a datatype.
[[noreturn]] void fire_not_related(math op, uint32_t type_id);
// script not-related with the name of the running call and a datatype (round's bad scales).
[[noreturn]] void fire_not_related_here(uint32_t type_id);
// script expect-arg for the running call's argument `n` (0-based) of the value's datatype.
[[noreturn]] void fire_expect_arg(const cell* value, uint32_t n);

// How numbers hand an operation to a second operand's datatype (pair!, points, tuple!, money!,
// vector!, date!), which then runs it with its own math action.
namespace number_dispatch {
// The stack entry of the math action `op` for a datatype (null when it has none).
slot_fn::stack math_slot(uint32_t type_id, math op);
// Runs the math action of the first stack argument's datatype; invalid-type when it has none.
void run_math_slot(math op);
void swap_arguments();
// Swaps the operands and lets the composite run the operation; n - c becomes (negate c) + n.
void hand_to_composite(math op);
}  // namespace number_dispatch

namespace integer_type {

// Makes the cell an integer! (the header's flag bits stay).
inline cell* init_cell(cell* c, int32_t v) {
  set_type(c, type::integer);
  c->data2 = static_cast<uint32_t>(v);
  return c;
}

inline int32_t sign(int32_t v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

// |v|; the smallest integer raises math overflow.
int32_t abs(int32_t v);

// True for NaN and for doubles outside the 32-bit range.
bool float_out_of_range(double d);

// The double truncated toward zero; NaN and values outside the range raise type-limit integer!.
int32_t from_double(double d);

// Decimal text of v into out (room for 12 bytes, NUL-terminated); answers its length.
size_t to_decimal(char* out, int32_t v);

/*
 * The operation core. add, subtract and multiply that overflow make `result` a float! holding
 * the exact double result; a division that is not exact does the same when a result cell is
 * given (without one the quotient is truncated). Division or remainder by 0 raises zero-divide,
 * and of the smallest integer by -1 overflow. An integral result goes into word 2 of `result`,
 * whose header stays. Answers the integral result (meaningless once `result` went float!).
 */
int32_t math_op(int32_t left, int32_t right, math op, cell* result);

// The arithmetic body of the eight math actions, the first stack argument an integer!.
void math_dispatch(math op);

// round of an integer with an integer scale (its absolute value is taken), all refinements.
int32_t round_value(int32_t value, int32_t scale, const round_flags& f);

// Conversions that datatypes built elsewhere provide when they register (null until then).
struct conversion_hooks {
  int32_t (*from_money)(const cell* money) = nullptr;  // the integer part, or type-limit
  // Seconds since 1970-01-01 into `out`: an integer!, or a float! beyond 32 bits.
  cell* (*from_date)(const cell* date, cell* out) = nullptr;
};
extern conversion_hooks hooks;

void init();

}  // namespace integer_type
}  // namespace kaz

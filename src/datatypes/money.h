// money!: an exact decimal amount of 17 integer and 5 fraction digits, a sign and an optional
// currency.
#pragma once

#include <cstdint>
#include <string_view>

#include "datatypes/integer.h"
#include "runtime/cell.h"

namespace kaz::money_type {

/*
 * The cell: header bit 14 the sign (set: negative); cell byte 4 (the low byte of data1) the
 * currency, 0 for none, else the 1-based position of its word in
 * system/locale/currencies/list when the value was made; bytes 5-15 the 22 digits in packed
 * decimal, two per byte, high nibble first, most significant first: digits 1-17 the integer
 * part, 18-22 the fraction. All digits 0 is zero whatever the sign bit.
 */
constexpr uint32_t sign_flag = 0x4000;
constexpr uint32_t digit_count = 22;
constexpr uint32_t fraction_digits = 5;
constexpr uint32_t integer_digits = digit_count - fraction_digits;

// Digit n (1-22) of a money! cell.
uint32_t digit(const cell* m, uint32_t n);
inline uint32_t currency_of(const cell* m) { return m->data1 & 0xFF; }
inline bool negative_bit(const cell* m) { return (m->header & sign_flag) != 0; }
int32_t sign(const cell* m);  // -1, 0 or 1

// A money! from its 22 digits (values 0-9, most significant first).
cell* init_cell(cell* c, bool negative, uint32_t currency, const uint8_t digits[digit_count]);

/*
 * A money! from digit text: the integer digits (apostrophes skipped) end right-aligned at digit
 * 17, the fraction digits follow (at most 5 are taken). False, leaving the cell alone, when the
 * integer part has more than 17 digits, when a character is not a digit, or when the currency
 * code (3 letters, or empty for none) is not in the currency list.
 */
bool init_cell_from_digits(cell* c, bool negative, std::string_view currency_code,
                           std::string_view integer_text, std::string_view fraction_text);

// The 1-based position of a 3-letter code (any case) in the currency list, or -1.
int32_t currency_index(std::string_view code);

// The amount of a money! as a float! double (correctly rounded) and as its integer part
// (type-limit for integer! beyond 32 bits).
double to_float(const cell* m);
int32_t to_integer(const cell* m);

// The arithmetic entry for a money! operand on either side (codes 0 add to 4 remainder); the
// operands are the first two stack arguments, the result goes to the first.
void math(kaz::math op);

void init();

}  // namespace kaz::money_type

// Cell makers for the scalar values the lexer builds, each following its datatype's cell layout:
// they are the one place that packs these cells until (and after) the datatypes have their own
// files, which can call them.
#pragma once

#include <cstdint>

#include "datatypes/cell.h"

namespace kaz::lexer {

inline cell integer_cell(int32_t v) { return cell{type::integer, 0, uint32_t(v), 0}; }

// float!, percent! (1.0 = 100%) and time! (seconds) keep a double in data2/data3.
inline cell double_cell(uint32_t type_id, double v) {
  cell c{type_id, 0, 0, 0};
  put_double(&c, v);
  return c;
}

// pair!: x in data2, y in data3.
inline cell pair_cell(int32_t x, int32_t y) { return cell{type::pair, 0, uint32_t(x), uint32_t(y)}; }

// point2D!: x, y as 32-bit floats in data1, data2; point3D! adds z in data3.
cell point2d_cell(float x, float y);
cell point3d_cell(float x, float y, float z);

/*
 * tuple!: the length (3 to 12) in header bits 19-22, the bytes in order from cell byte 4 (the
 * low byte of data1) on, zero past the length.
 */
constexpr uint32_t tuple_length_shift = 19;
constexpr uint32_t tuple_length_mask = 0xF << tuple_length_shift;
cell tuple_cell(const uint8_t* bytes, uint32_t length);
uint32_t tuple_length(const cell* c);
uint8_t tuple_byte(const cell* c, uint32_t index);  // 0-based

/*
 * money!: header bit 14 the sign; byte 4 (low byte of data1) the currency index (0: none);
 * bytes 5-15 the amount as 22 packed decimal digits, two per byte, high nibble first, most
 * significant first: digits 1-17 the integer part, 18-22 the fraction.
 */
constexpr uint32_t money_sign_flag = 0x4000;
constexpr uint32_t money_digits = 22;
constexpr uint32_t money_fraction_digits = 5;
// digits: 22 values 0-9, most significant first.
cell money_cell(bool negative, uint32_t currency, const uint8_t digits[money_digits]);
uint32_t money_digit(const cell* c, uint32_t n);  // n = 1..22

}  // namespace kaz::lexer

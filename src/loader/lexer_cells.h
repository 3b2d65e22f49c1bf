// Cell makers for the simple number values the lexer builds, each following its datatype's cell
// layout. tuple!, money! and date! cells come from their datatypes' own makers.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

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

}  // namespace kaz::lexer

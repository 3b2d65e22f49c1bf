#include "loader/lexer_cells.h"

#include <cstring>

namespace kaz::lexer {

namespace {

uint32_t float_bits(float f) {
  uint32_t w;
  std::memcpy(&w, &f, sizeof w);
  return w;
}

}  // namespace

cell point2d_cell(float x, float y) { return cell{type::point2d, float_bits(x), float_bits(y), 0}; }

cell point3d_cell(float x, float y, float z) {
  return cell{type::point3d, float_bits(x), float_bits(y), float_bits(z)};
}

}  // namespace kaz::lexer

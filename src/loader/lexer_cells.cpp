#include "loader/lexer_cells.h"

#include <cstring>

namespace kaz::lexer {

namespace {

uint32_t float_bits(float f) {
  uint32_t w;
  std::memcpy(&w, &f, sizeof w);
  return w;
}

// Cell bytes 4-15 as the three payload words, byte 4 lowest in data1.
void put_payload_bytes(cell& c, const uint8_t b[12]) {
  uint32_t* words[3] = {&c.data1, &c.data2, &c.data3};
  for (uint32_t w = 0; w < 3; ++w)
    *words[w] = uint32_t(b[4 * w]) | uint32_t(b[4 * w + 1]) << 8 | uint32_t(b[4 * w + 2]) << 16 |
                uint32_t(b[4 * w + 3]) << 24;
}

uint8_t payload_byte(const cell* c, uint32_t i) {  // i = 0 for cell byte 4
  uint32_t w = i < 4 ? c->data1 : i < 8 ? c->data2 : c->data3;
  return uint8_t(w >> (8 * (i % 4)));
}

}  // namespace

cell point2d_cell(float x, float y) { return cell{type::point2d, float_bits(x), float_bits(y), 0}; }

cell point3d_cell(float x, float y, float z) {
  return cell{type::point3d, float_bits(x), float_bits(y), float_bits(z)};
}

cell tuple_cell(const uint8_t* bytes, uint32_t length) {
  uint8_t b[12] = {};
  if (length > 12) length = 12;
  std::memcpy(b, bytes, length);
  if (length < 3) length = 3;
  cell c{type::tuple | (length << tuple_length_shift), 0, 0, 0};
  put_payload_bytes(c, b);
  return c;
}

uint32_t tuple_length(const cell* c) { return (c->header & tuple_length_mask) >> tuple_length_shift; }

uint8_t tuple_byte(const cell* c, uint32_t index) { return payload_byte(c, index); }

cell money_cell(bool negative, uint32_t currency, const uint8_t digits[money_digits]) {
  uint8_t b[12] = {};
  b[0] = uint8_t(currency);
  for (uint32_t n = 0; n < money_digits; ++n) {
    uint8_t d = uint8_t(digits[n] & 0xF);
    b[1 + n / 2] |= n % 2 == 0 ? uint8_t(d << 4) : d;
  }
  cell c{type::money | (negative ? money_sign_flag : 0), 0, 0, 0};
  put_payload_bytes(c, b);
  return c;
}

uint32_t money_digit(const cell* c, uint32_t n) {
  uint8_t b = payload_byte(c, 1 + (n - 1) / 2);
  return (n % 2 == 1) ? b >> 4 : b & 0xF;
}

}  // namespace kaz::lexer

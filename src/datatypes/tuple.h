// tuple!: 3 to 12 unsigned bytes written with dots (1.2.3), for versions, addresses and colours.
#pragma once

#include <cstdint>

#include "datatypes/integer.h"
#include "runtime/cell.h"

namespace kaz::tuple_type {

/*
 * The cell: header bits 19-22 the length (3 to 12); the bytes in order from cell byte 4 (the
 * low byte of data1) to byte 15, zero past the length.
 */
constexpr uint32_t length_shift = 19;
constexpr uint32_t length_mask = 0xFu << length_shift;
constexpr uint32_t max_length = 12;

inline uint32_t length_of(const cell* t) { return (t->header & length_mask) >> length_shift; }
uint8_t byte_at(const cell* t, uint32_t i);  // 0-based, 0 past the stored bytes

// A tuple of the bytes given (length clamped to 3..12, missing bytes 0).
cell* init_cell(cell* c, const uint8_t* bytes, uint32_t length);
cell* push(const uint8_t* bytes, uint32_t length);
// One byte per value (its low 8 bits), at least 3 bytes.
cell* push_from_ints(uint32_t count, const int32_t* values);
// A colour: 3 bytes, or 4 with alpha when a is not -1.
cell* init_rgba(cell* c, int32_t r, int32_t g, int32_t b, int32_t a);
bool zero_q(const cell* t);

// The arithmetic (0 add ... 4 remainder) and bitwise (5 or, 6 and, 7 xor) operations; the
// operands are the first two stack arguments, and a number first operand is swapped behind the
// tuple (refused for subtract and divide).
void math(kaz::math op);

void init();

}  // namespace kaz::tuple_type

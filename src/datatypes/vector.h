// vector!: a packed series of numbers of one element datatype and one width.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::vector {

/*
 * A vector! cell: data1 the head index in elements, data2 the node of a byte series whose unit
 * is the element width in bytes, data3 the element datatype. Elements are stored little-endian:
 * integer! (8, 16 or 32 bits, two's complement), char! (8, 16 or 32 bits, the code point),
 * float! (32 or 64 bits, IEEE) and percent! (64 bits, the double of the value, 1.0 = 100%).
 */

inline uint32_t element_type_of(const cell* v) { return v->data3; }

// The default width in bytes of an element datatype (4 for integer!/char!, 8 for the others).
uint32_t default_width(uint32_t element_type);

// Makes the cell an empty vector over a new buffer with room for `count` elements of `width`
// bytes; a size beyond the largest series raises internal no-memory.
cell* alloc(cell* c, uint32_t count, uint32_t element_type, uint32_t width);

// An element as a value: integers sign-extended, characters unsigned (so 8- and 16-bit code
// points come back as stored), 32-bit floats widened.
void read_element(const uint8_t* p, uint32_t width, uint32_t element_type, cell* out);
// Stores a value of the element datatype: the low bits of an integer or code point, a double
// (rounded to single for width 4).
void write_element(uint8_t* p, uint32_t width, const cell* value);

void init();

}  // namespace kaz::vector

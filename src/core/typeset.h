// typeset!: a set of datatypes in one cell, a 96-bit map. Function specs carry one per argument.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::typeset {

/*
 * Words 1-3 of the cell are read as 12 bytes in memory order: datatype id i is the bit
 * 0x80 >> (i & 7) of byte i >> 3.
 */
inline const uint8_t* map_bytes(const cell* ts) { return reinterpret_cast<const uint8_t*>(ts) + 4; }
inline uint8_t* map_bytes(cell* ts) { return reinterpret_cast<uint8_t*>(ts) + 4; }
inline bool has(const cell* ts, uint32_t t) {
  return t < 96 && (map_bytes(ts)[t >> 3] & (0x80u >> (t & 7)));
}
inline void add(cell* ts, uint32_t t) {
  if (t < 96) map_bytes(ts)[t >> 3] |= uint8_t(0x80u >> (t & 7));
}
inline void clear(cell* ts) {
  ts->header = type::typeset;
  ts->data1 = ts->data2 = ts->data3 = 0;
}
// Every bit but unset!'s: the typeset of an argument without a type block.
void make_default(cell* ts);
// From a spec's type block: datatypes set their bit, typesets merge, words stand for their
// values, nested blocks are skipped; anything else raises invalid-type-spec.
void make_from_spec(cell* ts, cell* type_block);
// Adds a datatype or a typeset, or a word standing for one; anything else raises invalid-arg.
void add_word(cell* ts, const cell* element);
// The number of registered datatypes in the set.
uint32_t count_types(const cell* ts);
// A block of the global words naming the datatypes of the set (integer! ...), in id order.
void to_block(const cell* ts, cell* block);
/*
 * A set operation on the current call's first two arguments (a typeset, and a typeset or a
 * datatype), into the result slot: 5 and 9 union, 6 and 10 intersection, 7 and 12 difference,
 * 11 exclusion, 8 the first argument itself. Another code is runtime error 101.
 */
void set_operation(int32_t code);

void init();  // registers typeset!

}  // namespace kaz::typeset

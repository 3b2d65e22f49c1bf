// typeset!: a set of datatypes in one cell, a 96-bit map. Function specs carry one per argument.
#pragma once

#include <cstdint>

#include "datatypes/cell.h"

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
// Every type but unset!: the typeset of an argument without a type block.
void make_default(cell* ts);
// From a spec's type block: datatypes set their bit, typesets merge, words stand for their
// values, nested blocks are skipped; anything else raises invalid-type-spec.
void make_from_spec(cell* ts, cell* type_block);

void init();  // registers typeset!

}  // namespace kaz::typeset

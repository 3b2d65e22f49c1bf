// What other layers read of a series cell (block!, paren!, the path family, hash!, the string
// family, binary!, vector!, image!): data1 the head index in units, data2 the buffer's node.
#pragma once

#include <cstdint>

#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::series {

inline node_t node_of(const cell* s) { return s->data2; }
inline uint32_t index_of(const cell* s) { return s->data1; }
inline void set_index(cell* s, uint32_t index) { s->data1 = index; }

}  // namespace kaz::series

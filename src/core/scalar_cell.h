// What other layers read of the scalar cells every layer meets: integer! (data2 the value),
// logic! (data1 the truth), char! (data2 the code point) and datatype! (data1 the id).
// Their datatypes' headers include this one; the builders stay there.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz {

namespace integer_type {
inline int32_t value_of(const cell* c) { return static_cast<int32_t>(c->data2); }
}  // namespace integer_type

namespace logic_type {
inline uint32_t value_of(const cell* v) { return v->data1; }
}  // namespace logic_type

namespace char_type {
inline uint32_t code_of(const cell* c) { return c->data2; }  // the code point
}  // namespace char_type

namespace datatype_type {
inline uint32_t id_of(const cell* d) { return d->data1; }  // the datatype's id
}  // namespace datatype_type

}  // namespace kaz

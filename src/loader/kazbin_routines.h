// The KAZBIN codec's routines (`encode*` and `decode` of system/codecs/kazbin), entries 180
// and 181 of the routines table.
#pragma once

#include "runtime/cell.h"

namespace kaz::kazbin {

constexpr uint32_t encode_star_routine = 180;
constexpr uint32_t decode_routine = 181;

// encode*: data [any-type!] compact? [logic!] -> binary!
void encode_star(cell* arguments);
// decode: payload [any-type!] -> the one value, or a block of the values
void decode_payload(cell* arguments);

}  // namespace kaz::kazbin

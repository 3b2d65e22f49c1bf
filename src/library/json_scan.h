// The scanning core of load-json: JSON text to Kaz values in one pass, entry 190 of the routines
// table (declared from 50-json.kaz).
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::library::json {

constexpr uint32_t scan_routine = 190;

// Containers nested deeper than this are refused like any other bad input.
constexpr uint32_t max_depth = 512;

// _scan-json: input [string!] -> a block holding the one decoded value, or, when the text is
// not JSON, a block of three integers: the line of the failure, the offset of the last good
// position from the input's head, and its column. A string whose escapes hold a lone surrogate
// raises invalid-data with the string's text.
void scan(cell* arguments);

}  // namespace kaz::library::json

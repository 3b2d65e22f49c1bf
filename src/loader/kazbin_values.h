// Checks of decoded scalar payloads that the datatypes rely on.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::kazbin {

// A date word (and its time when it has one) that names a real day and time of day.
bool valid_date(uint32_t word, double time);
// A money! cell's digits are all decimal.
bool valid_money(const cell* m);

}  // namespace kaz::kazbin

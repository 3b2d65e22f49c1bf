// The runtime's one pseudo-random generator, the secure source, and the range reduction that
// every datatype's `random` action draws through.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::random {

// Seeds the generator with 19650218 (start-up).
void init();

// Reseeds the generator; the next draw is the seed itself, tempered.
void seed(uint32_t s);

// The next draw of the generator: 0 to 2147483647.
int32_t next();

// A draw from the operating system's secure source: 0 to 2147483647. Leaves the generator alone.
int32_t secure_next();

// A uniform integer in 1..n for n > 0, in -1..n for n < 0, 0 for 0.
int32_t next_in_range(int32_t n, bool secure);

// The random slot of logic!: /seed seeds with the truth value, else a random truth value.
const cell* logic_value(cell* value, bool seed, bool secure, bool only);

}  // namespace kaz::random

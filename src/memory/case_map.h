// Case mapping: one simple, one-to-one mapping (Unicode 11.0) for every case-insensitive
// operation: comparison, search, sorting, hashing, `parse`, `uppercase` and `lowercase`.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kaz::unicode {

// cp mapped to upper case (upper true) or lower case; cp itself when it has no mapping.
// A mapping never changes the number of code points.
uint32_t change_case_char(uint32_t cp, bool upper);

// The fold that case-insensitive comparison and hashing apply to both sides.
inline uint32_t fold_case(uint32_t cp) { return change_case_char(cp, true); }

/*
 * Maps `count` units of `unit` bytes at data in place. Stops at the first character whose
 * mapping needs a wider unit and answers its index (count when every unit was mapped); the
 * caller widens the text and continues from there.
 */
size_t change_case_units(uint8_t* data, size_t count, uint32_t unit, bool upper);

}  // namespace kaz::unicode

#include "runtime/cell.h"

namespace kaz::unicode {

/*
 * The body of `uppercase` and `lowercase`: maps a char! in place, or the text of a string-family
 * value from its head (a head past the tail is first moved back to it), widening the buffer
 * when a mapping needs a wider unit. `part` (null when absent) limits the count: an integer!,
 * or a position in the same series (its head minus the value's; a negative count is 0); any
 * other part raises script invalid-refine-arg. The owner of an owned string hears of the
 * change with the action word.
 */
void change_case_value(cell* value, const cell* part, bool upper);

}  // namespace kaz::unicode

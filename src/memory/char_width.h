// Display widths: the terminal cells a code point takes (Unicode 14.0).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kaz::unicode {

// Whether cp lies in one of `count` sorted, disjoint [first, last] intervals.
bool find_interval(uint32_t cp, const uint32_t (*intervals)[2], size_t count);

/*
 * Cells cp takes: 0 for NUL, combining marks, the listed format characters and the Hangul
 * medial and final jamo; 2 for wide and fullwidth characters; 1 for everything else, control
 * characters, East Asian ambiguous characters and values outside Unicode included. Callers
 * that expand tabs or skip escape sequences do so themselves.
 */
int char_width(int32_t cp);

}  // namespace kaz::unicode

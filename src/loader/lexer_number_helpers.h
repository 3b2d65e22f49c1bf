// The number readers that the conversions from text share with the lexer (make and to of
// integer!, float!, tuple! and money!). They read a run of string units of any width and
// report failure instead of raising: the calling conversion raises its own error.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::lexer {

constexpr int32_t scan_invalid = -1;    // not a valid number (or out of range)
constexpr int32_t scan_no_digits = -2;  // no digit at all

// Optional sign, decimal digits with "'" separators; a 32-bit overflow is invalid.
// "-2147483648" fits. `error` is 0 on success.
int32_t scan_integer(const uint8_t* units, uint32_t count, uint32_t unit, int32_t& error);

// At most 312 units of float text ("," as the decimal point, "'" separators); NaN and the
// error flag set on failure.
double text_to_float(const uint8_t* units, uint32_t count, uint32_t unit, int32_t& error);

// Tuple text (3 to 12 components 0-255) into a tuple! cell; false when invalid.
bool scan_tuple(const uint8_t* units, uint32_t count, uint32_t unit, cell* out);

// Money text ([sign][currency]$digits[.decimals]) into a money! cell; false when invalid,
// including an unknown currency.
bool text_to_money(const uint8_t* units, uint32_t count, uint32_t unit, cell* out);

}  // namespace kaz::lexer

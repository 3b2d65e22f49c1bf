// Numbers read from text for `make` and `to`: the lexer's number syntax over a string-family
// value from its head to its tail.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::number_text {

// Optional sign and decimal digits ("'" separators allowed), within 32 bits.
bool to_integer(const cell* text, int32_t* out);
// The float syntax ("," read as the point); false for an empty text or a syntax error.
bool to_float(const cell* text, double* out);
// One value scanned by the lexer: a float!, percent! or integer!, as a fraction (50% is 0.5).
bool to_percent(const cell* text, double* out);
// One value scanned by the lexer into `out`; false when the text holds no single value.
bool scan_value(const cell* text, cell* out);

}  // namespace kaz::number_text

// Reading a value of a wanted datatype from text, for make and to of the scalar datatypes.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::scalar {

// Loads the first value of a string-family value's text with the lexer; true when there is one
// and it is of the wanted datatype (out then holds it). Text that does not load is no error
// here: the caller raises its own.
bool scan_text_as(const cell* text, uint32_t wanted, cell* out);

}  // namespace kaz::scalar

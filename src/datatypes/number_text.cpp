// Until the lexer is linked in, no text reads as a number.
#include "datatypes/number_text.h"

namespace kaz::number_text {

bool to_integer(const cell*, int32_t*) { return false; }
bool to_float(const cell*, double*) { return false; }
bool to_percent(const cell*, double*) { return false; }
bool scan_value(const cell*, cell*) { return false; }

}  // namespace kaz::number_text

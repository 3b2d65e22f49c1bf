// Registration of the function family's datatypes.
#pragma once

#include <string_view>

#include "runtime/cell.h"

namespace kaz::function_types {
void init();           // native!, action!, op!
void init_function();  // function!, routine!
}  // namespace kaz::function_types

// Exits that reach C++ code which cannot pass them on (a sort's comparator, an object's
// handlers) become the errors the same exits raise where nothing can take them.
#pragma once

#include "core/stack.h"

namespace kaz {

// break, continue and throw raise their throw errors; any other exit raises return's.
[[noreturn]] void raise_stranded_exit(flow f);

}  // namespace kaz

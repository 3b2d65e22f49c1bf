// What the object files share: running Kaz code from places that cannot pass an exit on, and
// the mold of the object family.
#pragma once

#include "core/exit_in_flight.h"

#include <cstdint>

#include "core/stack.h"
#include "runtime/cell.h"

namespace kaz::object {

using kaz::raise_exit;  // exits leaving an object body or handler

// Lets the ownership table call on-deep-change* (once, at start-up).
void install_deep_change_handler();

// "make object! [" (or another opener), the fields, the closing indentation and "]"; with only,
// the fields alone.
int32_t mold_object(const cell* object, cell* buffer, const char* opener, bool only, bool all,
                    bool flat, cell* part, int32_t limit, int32_t indent);

}  // namespace kaz::object

// What the object files share: running Kaz code from places that cannot pass an exit on, and
// the mold of the object family.
#pragma once

#include <cstdint>

#include "core/stack.h"
#include "datatypes/cell.h"

namespace kaz::object {

/*
 * A break, continue, return, exit or throw that reached C++ code which cannot hand a status on
 * (an object body, a change handler): its target lies beyond this boundary, so it is raised as
 * the error its native raises when no target is found.
 */
[[noreturn]] void raise_stranded_exit(flow f);

// Lets the ownership table call on-deep-change* (once, at start-up).
void install_deep_change_handler();

// "make object! [" (or another opener), the fields, the closing indentation and "]"; with only,
// the fields alone.
int32_t mold_object(const cell* object, cell* buffer, const char* opener, bool only, bool all,
                    bool flat, cell* part, int32_t limit, int32_t indent);

}  // namespace kaz::object

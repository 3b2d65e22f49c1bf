// The natives: built-in functions whose work the runtime does itself. Each takes its arguments
// from stack::arguments on and one position per refinement (-1 when absent), and leaves its
// result in the result slot (stack::arguments).
#pragma once

#include <cstdint>

#include "core/stack.h"

namespace kaz::natives {

#define NATIVE(index, cname, word) flow cname(const int32_t* refs);
#include "eval/natives.def"
#undef NATIVE

// One non-blocking pass of the terminal GUI's event loop, which `wait` runs after sleeping; set
// by the back-end while it is active.
extern void (*do_events_once)();

// Fills the natives table with the entries that exist.
void init();

// Whether the last output of print and prin ended its line (print) or not (prin).
bool last_line_end();

// The word <body> (the name of loop and evaluation frames).
const cell* body_name();

}  // namespace kaz::natives

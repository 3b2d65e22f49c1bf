// Exits that leave Kaz code run by C++ code which cannot pass a status on (a sort's comparator,
// an object's body, change handlers, an error spec's set-words, the trace callback).
#pragma once

#include "core/stack.h"
#include "runtime/throw.h"

namespace kaz {

/*
 * break, continue, return, exit and throw travel as a returned `flow` everywhere they can. Where
 * C++ code between the exit and its target has no way to return one, the exit crosses that code
 * as this exception, carrying its runtime code (its value and name stay in stack::flow_value and
 * stack::flow_name). The nearest point of the evaluator that returns a status (a native's call,
 * see interp::catching_exits) takes it back as one, so it goes on to its target as if it had
 * been returned all the way. Its code lies below the error's, so a region that only takes
 * errors lets it through.
 */
struct exit_in_flight : sysrt::thrown_value {
  flow status;
  explicit exit_in_flight(flow f);
};

// The runtime code of an exit (sysrt::thrown::break_ ...).
uint32_t thrown_code_of(flow f);

// Raises a non-normal status as an exit_in_flight; a normal one returns at once.
void raise_exit(flow f);

}  // namespace kaz

// The conditionals if, unless and either run by the interpreter itself when the word still
// holds the native: no descriptor walk, and literal blocks taken as they stand, with the
// native's frame, argument order, truth rule, errors, exits and trace events.
#pragma once

#include <cstdint>

#include "core/function.h"
#include "eval/interpreter.h"

namespace kaz::interp::control_inline {

// The conditional a native! value is (its own, not one made from its table entry with another
// spec), or 0.
int known_kind(const cell* fn);
inline int kind_of(const cell* fn) {
  return function::table_index_of(fn) <= 3 ? known_kind(fn) : 0;
}

// The call, in place of eval_call for a prefix call without a path.
flow run(cursor& c, const cell* fn, const cell* name, int kind);

void init();

}  // namespace kaz::interp::control_inline

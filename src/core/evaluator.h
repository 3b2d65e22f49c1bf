// The evaluator's entry points as the layers beneath it reach them: an object's body, an error
// spec's set-words, change handlers, sort comparators and port actors run Kaz code through these.
// The evaluator installs them when it starts; nothing beneath it includes its headers.
#pragma once

#include "core/stack.h"
#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::evaluator {

struct entries {
  // Evaluates a whole block in a <body> frame (see interp::eval_block).
  flow (*eval_block)(const cell* block, bool to_result);
  // Calls a function value with its arguments on the stack from stack::arguments on.
  flow (*call_with_arguments)(const cell* fn, const cell* name);
  // Calls a function! in the current frame, resolving its words through `lookup` when given.
  flow (*call_function)(const cell* fn, node_t lookup);
  // Tells the trace hook about an error about to be raised (does nothing when not tracing).
  void (*trace_error)(const cell* error);
};

extern entries installed;

// The block and position being evaluated (the evaluator keeps it; errors read it for their
// `near` field). A block! cell whose data1 is the index of the expression running.
extern cell current_code;

inline flow eval_block(const cell* block, bool to_result) {
  return installed.eval_block(block, to_result);
}
inline flow call_with_arguments(const cell* fn, const cell* name) {
  return installed.call_with_arguments(fn, name);
}
inline flow call_function(const cell* fn, node_t lookup) {
  return installed.call_function(fn, lookup);
}
inline void trace_error(const cell* error) {
  if (installed.trace_error) installed.trace_error(error);
}

}  // namespace kaz::evaluator

// The end of a call made from the code at a cursor, shared by the interpreter and its inline
// conditionals: the frame closed (its result kept, or dropped with an exit or error status),
// the cursor refreshed, the trace's return event.
#pragma once

#include "core/stack.h"
#include "eval/interpreter.h"
#include "eval/trace.h"

namespace kaz::interp {

inline flow end_call(cursor& c, flow f, const cell* name) {
  if (f != flow::normal) {
    stack::close_frame_dropping();
    return f;
  }
  stack::close_frame();
  c.refresh();
  if (trace::tracing) [[unlikely]] {
    cell r = *(stack::top - 1);
    cell code = c.code();
    trace::fire(trace::event::return_, &code, c.pos, name, &r);
    c.refresh();
  }
  return flow::normal;
}

}  // namespace kaz::interp

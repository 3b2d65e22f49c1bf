#include "eval/trace.h"

#include "core/block_storage.h"
#include "core/context.h"
#include "core/exit_in_flight.h"
#include "core/function.h"
#include "core/series_cell.h"
#include "core/symbol.h"
#include "core/word.h"
#include "eval/interpreter.h"
#include "memory/collector.h"
#include "runtime/fire.h"

namespace kaz::trace {

bool active = false;
bool tracing = false;
bool paused = false;
bool switched = false;

void switch_to(bool on) {
  if (!active) return;
  paused = !on;
  switched = true;  // applied when the library function that asked returns to the traced code
}

namespace {

cell callback{type::none, 0, 0, 0};
uint32_t mask = 0;

const char* const event_names[16] = {"init", "end",   "prolog", "epilog", "enter", "exit",
                                     "open", "return", "fetch", "push",  "set",   "call",
                                     "error", "throw", "catch", "expr"};

void mark_roots() { collector::mark_values(&callback, &callback + 1); }

// The events a callback asks for: the words of a block at the head of its body, or all.
uint32_t mask_of(const cell* f) {
  cell body = function::extra_cells(f)[extra::body];
  if (type_of(&body) != type::block || block::rs_length(&body) <= 0) return 0x1FFFF;
  cell first = *block::rs_head(&body);
  if (type_of(&first) != type::block) return 0x1FFFF;
  uint32_t m = 0;
  for (int32_t i = 0; i < block::rs_length(&first); ++i) {
    const cell* w = block::rs_head(&first) + i;
    if (type_of(w) != type::word) continue;
    for (uint32_t k = 0; k < 16; ++k)
      if (symbol::resolve(word::symbol_of(w)) == symbol::resolve(symbol::make(event_names[k])))
        m |= 1u << k;
  }
  return m;
}

}  // namespace

void error_raised(const cell* error) {
  if (tracing) fire(event::error, nullptr, 0, nullptr, error);
}

void fire(uint32_t bit, const cell* code, uint32_t position, const cell* ref, const cell* value) {
  if (!(mask & bit)) return;
  uint32_t k = 0;
  while (k < 16 && (1u << k) != bit) ++k;
  stack::saved_state saved = stack::save();
  stack::top++;  // keep the value under evaluation
  cell name;
  context::intern_global(symbol::make("<interp-callback>"), &name);
  stack::open_interpreted_function_frame(&name);
  cell ev;
  context::intern_global(symbol::make(event_names[k]), &ev);
  stack::push(&ev);
  if (code) {
    stack::push(code);
    int32_t offset = static_cast<int32_t>(position) - static_cast<int32_t>(series::index_of(code));
    if (offset < 0 || offset > block::rs_length(code)) offset = -1;
    stack::push_integer(offset);
  } else {
    stack::push_none();
    stack::push_integer(-1);
  }
  if (value) stack::push(value); else stack::push_none();
  if (ref) stack::push(ref); else stack::push_none();
  cell frame{type::pair, 0, stack::index_of(saved.arguments), stack::index_of(saved.top)};
  stack::push(&frame);
  cell f = callback;
  // An exit on its way through the traced code keeps its value across the callback.
  cell pending_value = stack::flow_value;
  cell pending_name = stack::flow_name;
  tracing = false;
  flow r;
  try {
    r = interp::call_with_arguments(&f, &name);
  } catch (...) {
    tracing = true;
    throw;
  }
  tracing = true;
  stack::unwind_to(saved);
  raise_exit(r);  // an exit the callback raised goes on to its target
  stack::flow_value = pending_value;
  stack::flow_name = pending_name;
}

bool start(const cell* f) {
  if (active) return false;
  callback = *f;
  mask = mask_of(f);
  active = tracing = true;
  paused = switched = false;
  try {
    fire(event::init, nullptr, 0, nullptr, nullptr);
  } catch (...) {  // an error or exit out of the init event ends the tracing it began
    callback.header = type::none;
    active = tracing = false;
    mask = 0;
    throw;
  }
  return true;
}

void stop() {
  struct ending {  // however the end event ends
    ~ending() {
      callback.header = type::none;
      active = tracing = false;
      paused = switched = false;
      mask = 0;
    }
  } done;
  fire(event::end, nullptr, 0, nullptr, nullptr);
}

void init() { collector::add_mark_callback(mark_roots); }

}  // namespace kaz::trace

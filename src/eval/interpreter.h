// The interpreter: evaluates Kaz code given as values, left to right, on the evaluation stack.
#pragma once

#include <cstdint>

#include "core/evaluator.h"
#include "core/exit_in_flight.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "memory/series.h"
#include "memory/stamp_check.h"
#include "runtime/cell.h"

namespace kaz::interp {

/*
 * A position in a block being evaluated. Cells are reached through the block's node and an
 * index, and `refresh` re-reads the buffer after anything that may have run code or allocated:
 * the code may change the block it runs from.
 */
struct cursor {
  node_t node;
  const cell* head;  // cell 0 of the buffer's used part
  uint32_t pos;   // index of the next value, from the buffer's used start
  uint32_t tail;  // index past the last value
  uint32_t index;  // the code's own index, where it was given (trace offsets count from it)

  explicit cursor(const cell* block)
      : node(series::node_of(block)), pos(series::index_of(block)), index(series::index_of(block)) {
    if (memory::stamp_check::on) [[unlikely]] memory::stamp_check::check(node);
    refresh();
  }
  void refresh() {
    series_buffer* s = memory::buffer_of(node);
    head = s->cells();
    tail = (s->tail - s->offset) / 16;
  }
  bool at_tail() const { return pos >= tail; }
  const cell* value() const { return head + pos; }
  // The code as a block! at its own index (the trace hook's `code`).
  cell code() const { return cell{type::block, index, node, 0}; }
};

// The block and position being evaluated: evaluator::current_code.
using evaluator::current_code;

// Where the last `throw` was raised (roots): the word of its call and the code it was near.
// A throw that no catch takes becomes an error there, not where the last catch let it go.
extern cell throw_where;
extern cell throw_near;

// Evaluates a whole block in a <body> frame. The result is the last expression's value (unset!
// for an empty block): left as the last value on the stack, or with to_result also copied into
// the caller's result slot.
flow eval_block(const cell* block, bool to_result);

// The same in the current frame: each expression's value lands in the frame's result slot
// (stack::arguments), which holds the last one at the end (top = arguments + 1).
flow eval_body(const cell* block);

// Evaluates one expression at the cursor and pushes its value. `no_infix` stops after the first
// value (the right operand of an operator); with `literal_functions` a function value met in the
// code is pushed instead of called.
flow eval_expression(cursor& c, bool no_infix, bool literal_functions = false);

// The operators that follow a value just pushed, applied left to right (eval_expression's
// end), from the op! value `op` that the word at the cursor holds; eval_operand
// (eval/leaf_values.h) evaluates leaves without eval_expression.
flow eval_infix(cursor& c, const cell* op);

// Evaluates the expression at a block's index into the result slot; answers the index after it
// (unchanged at the tail, where the result is unset!).
flow eval_next(const cell* block, uint32_t& index_out);

// Calls a function value with its arguments already on the stack from stack::arguments on
// (native and action entries get all refinements absent). Used by natives and C++ code.
flow call_with_arguments(const cell* fn, const cell* name);

// Calls a function value, taking its arguments from the cursor (prefix call) and its
// refinements from `path` elements after `path_pos` when a path led to it.
flow eval_call(cursor& c, const cell* fn, const cell* name, bool infix, const cell* path,
               uint32_t path_pos, node_t lookup);

// Calls the function value `fn` that the word at the cursor holds, past the word.
[[gnu::always_inline]] inline flow call_through_word(cursor& c, const cell* word_in, const cell* fn_in) {
  cell fn = *fn_in;
  cell name = *word_in;
  c.pos++;
  return eval_call(c, &fn, &name, false, nullptr, 0, 0);
}

// Whether a word holding a value of type `t` calls it (an op! is called only after a value).
constexpr bool calls_value(uint32_t t) {
  return t == type::native || t == type::action || t == type::function || t == type::routine;
}

// Raises script expect-arg for a call's argument: the call's name, the value, the spec word.
[[noreturn]] void expect_arg(const cell* name, const cell* value, const cell* arg_word);

// Evaluates a path!, get-path! or set-path! (set: the value to store is the last value pushed).
flow eval_path(cursor& c, const cell* path, bool set, bool get, bool case_ = false);

// Runs a function! body once its arguments are on the stack; the result lands in the result slot.
flow call_function(const cell* fn, node_t lookup);
// Runs a routine's C++ entry on the arguments on the stack.
flow call_routine(const cell* fn);

// `apply`: calls a function with its arguments evaluated from a block, expression by expression.
// Without `all` the fixed arguments come first, then refinements as `/name truth args...`; with
// `all` every spec entry comes in order (a refinement as its truth value), missing ones false or
// none!. With `safer` the arguments of an inactive refinement are skipped, not evaluated. The
// refinements of `path` (after `path_pos`) are active.
flow apply(const cell* fn, const cell* name, const cell* args, bool all, bool safer,
           const cell* path, uint32_t path_pos);

// Evaluates a block and answers its value in `out` (C++ callers: natives, the console, tests).
// Flows other than normal are returned.
flow do_block(const cell* block, cell* out);

// A value as the interpreter evaluates it on its own (a word looked up, a function called with
// no arguments, other values as they are).
flow do_value(const cell* value);

// An interrupt (Ctrl-C) taken: a throw of the word halt-request named console, which the
// console's evaluation catches, when some catch frame can take it; with none the interrupt is
// dropped (flow::normal). Clears the pending interrupt.
flow halt_on_interrupt();

/*
 * Runs C++ code that may run Kaz code unable to pass an exit on as a status (a comparator, an
 * object's change handler, the trace callback): an exit_in_flight that leaves it comes back as
 * its status, with the frames opened since put back (see core/exit_in_flight.h). Callers are
 * the points that return a status nearest to such code: a native's call, a set-word or
 * set-path that sets an object's field, a loop setting its words.
 */
template <class Run>
flow catching_exits_flow(Run&& run) {
  stack::saved_state saved = stack::save();
  try {
    return run();
  } catch (const exit_in_flight& e) {
    stack::unwind_to(saved);
    return e.status;
  }
}
template <class Run>
flow catching_exits(Run&& run) {
  return catching_exits_flow([&] {
    run();
    return flow::normal;
  });
}

void init();

}  // namespace kaz::interp

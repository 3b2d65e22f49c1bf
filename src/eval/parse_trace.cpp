// The trace callback of parse/trace: each event of the engine, with the last match state, the
// rule block at the current rule, the input at its position and the rule stack.
#include "core/context.h"
#include "core/symbol.h"
#include "core/truth.h"
#include "eval/interpreter.h"
#include "eval/parse_internal.h"

namespace kaz::parse {

namespace {

const char* const event_names[] = {"push", "pop", "fetch", "match", "iterate", "paren", "end"};

}  // namespace

void word_named(const char* name, cell* out) {
  context::intern_global(symbol::make(name), out);
}

bool call_callback(engine& e, ev event) {
  if (e.stopped) return false;
  static uint32_t name_symbol = 0;
  if (!name_symbol) name_symbol = symbol::make("<parse-callback>");
  cell args[5];
  word_named(event_names[uint32_t(event)], &args[0]);
  args[1] = cell{type::logic, e.matched ? 1u : 0u, 0, 0};
  if (e.sp > e.rule_base) {
    args[2] = rule_cells()[e.bf + 2];
    int32_t pos = rule_pos(e);
    args[2].data1 = pos < 0 ? 0 : uint32_t(pos);
  } else {  // the outermost block has ended
    args[2] = e.rules;
  }
  args[3] = e.input;
  // A copy of this call's frames: the callback may change the block it is given, and the
  // engine reads node ids and positions back out of the live frames.
  {
    cell live = rule_stack_at(e.rule_base);
    series_buffer* s = memory::buffer_of(series::node_of(&live));
    uint32_t used = s->cell_count();
    uint32_t from = e.rule_base < used ? e.rule_base : used;
    args[4] = cell{type::block, 0, memory::copy_part(s, from, used - from), 0};
  }

  stack::saved_state saved = stack::save();
  cell name;
  context::intern_global(name_symbol, &name);
  stack::open_interpreted_function_frame(&name);
  for (const cell& a : args) stack::push(&a);
  cell fn = e.callback;
  flow status = interp::call_with_arguments(&fn, &name);
  bool go_on = status == flow::normal && is_true(stack::arguments);
  stack::unwind_to(saved);
  if (!go_on) {
    e.stopped = true;
    e.exit = status;
  }
  return go_on;
}

}  // namespace kaz::parse

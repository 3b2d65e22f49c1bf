// The rules that change the input (remove, insert, change) and the parens of rules. Changes go
// through the input type's own actions; the engine then reads the input anew and moves the
// /part limit with the text it bounds.
#include "core/actions.h"
#include "core/context.h"
#include "core/registry.h"
#include "eval/interpreter.h"
#include "eval/parse_internal.h"
#include "runtime/fire.h"

namespace kaz::parse {

namespace {

// The input at a position, as the actions take it.
cell input_at(const engine& e, uint32_t pos) {
  cell s = e.input;
  s.data1 = pos;
  return s;
}

const action_row& actions_of(const engine& e, uint32_t s) {
  const action_row& row = registry::row(type_of(&e.input));
  bool present = s == slot::remove ? row.remove != nullptr
                 : s == slot::insert ? row.insert != nullptr
                                     : row.change != nullptr;
  if (!present) actions::unsupported(&e.input, s);
  return row;
}

// The limit bounds the same text after a change of `delta` units at `at`.
void moved(engine& e, uint32_t at, int64_t delta) {
  e.activity++;
  if (e.depth != 0 || e.limit < 0 || at > uint32_t(e.limit)) return;
  int64_t limit = int64_t(e.limit) + delta;
  e.limit = int32_t(limit < int64_t(at) ? at : limit);
}

}  // namespace

bool on_input(const engine& e, const cell* v) {
  uint32_t t = type_of(v);
  return (is_any_block(t) || is_any_string(t) || t == type::binary) &&
         series::node_of(v) == series::node_of(&e.input);
}

flow eval_paren(engine& e, const cell* paren, cell* out) {
  e.activity++;
  cell p = *paren;
  uint32_t mark = stack::index_of(stack::top);
  flow f = interp::eval_block(&p, false);
  if (f != flow::normal) return f;
  if (out) *out = *stack::last_value();
  stack::top = stack::at_index(mark);
  return flow::normal;
}

flow command_value(engine& e, const cell* v, cell* out) {
  cell x = *v;
  switch (type_of(&x)) {
    case type::paren:
      return eval_paren(e, &x, out);
    case type::word:
    case type::get_word:
      *out = *context::get_value(&x);
      if (type_of(out) == type::unset) fire(err::script_no_value, &x);
      return flow::normal;
    case type::path:
      fire(err::script_parse_rule, &x);
    default:
      *out = x;
      return flow::normal;
  }
}

void remove_range(engine& e, uint32_t from, uint32_t to) {
  uint32_t tail = view_of(e).tail;
  if (to > tail) to = tail;
  if (from >= to) return;
  const action_row& row = actions_of(e, slot::remove);
  cell s = input_at(e, from);
  cell part{type::integer, 0, to - from, 0};
  row.remove(&s, &part, nullptr);
  moved(e, from, -int64_t(to - from));
}

uint32_t insert_at(engine& e, uint32_t at, const cell* value, bool only) {
  cell v = *value;
  const action_row& row = actions_of(e, slot::insert);
  uint32_t before = view_of(e).tail;
  if (at > before) at = before;
  cell s = input_at(e, at);
  row.insert(&s, &v, -1, only, 1, false);
  int64_t delta = int64_t(view_of(e).tail) - before;
  moved(e, at, delta);
  return delta > 0 ? uint32_t(delta) : 0;
}

uint32_t change_range(engine& e, uint32_t from, uint32_t to, const cell* value, bool only) {
  cell v = *value;
  const action_row& row = actions_of(e, slot::change);
  uint32_t before = view_of(e).tail;
  if (to > before) to = before;
  if (from > to) from = to;
  cell s = input_at(e, from);
  row.change(&s, &v, int32_t(to - from), only, 1);
  int64_t delta = int64_t(view_of(e).tail) - before;
  moved(e, from, delta);
  int64_t after = int64_t(to) + delta;  // the units that replaced [from, to) end here
  return after < from ? from : uint32_t(after);
}

}  // namespace kaz::parse

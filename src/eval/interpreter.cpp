#include "eval/interpreter.h"

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/context.h"
#include "core/exit_in_flight.h"
#include "core/function.h"
#include "core/object.h"
#include "core/registry.h"
#include "core/scalar_cell.h"
#include "core/series_cell.h"
#include "core/symbol.h"
#include "core/truth.h"
#include "core/typeset.h"
#include "core/word.h"
#include "core/words.h"
#include "datatypes/series_common.h"
#include "eval/call_end.h"
#include "eval/control_inline.h"
#include "eval/fast_paths.h"
#include "eval/leaf_values.h"
#include "eval/trace.h"
#include "eval/word_values.h"
#include "memory/collector.h"
#include "runtime/fault_signals.h"
#include "runtime/fire.h"
#include "runtime/native_stack.h"

namespace kaz::interp {

cell throw_where{type::none, 0, 0, 0};
cell throw_near{type::none, 0, 0, 0};


namespace {

cell body_name;  // the word <body>, the name of block frames
cell anon_name;  // the word <anon>, for calls not made through a word
cell set_path_name;  // the word set-path, the name of a set-path's frame

void mark_roots() {
  collector::mark_values(&current_code, &current_code + 1);
  collector::mark_values(&throw_where, &throw_where + 1);
  collector::mark_values(&throw_near, &throw_near + 1);
}

// A word's value for evaluation: unset! raises no-value.
inline const cell* word_value(const cell* w) {
  const cell* v = bound_value(w);
  if (!v) v = context::get_value(w);
  if (type_of(v) == type::unset) fire(err::script_no_value, w);
  return v;
}

inline bool typeset_has(const cell* ts, uint32_t t) { return typeset::has(ts, t); }

}  // namespace

[[noreturn]] void expect_arg(const cell* name, const cell* value, const cell* arg_word) {
  cell dt;
  dt.header = type::datatype_;
  dt.data1 = type_of(value);
  dt.data2 = dt.data3 = 0;
  cell w = *arg_word;
  if (is_any_word(type_of(&w))) set_type(&w, type::word);
  fire(err::script_expect_arg, name, &dt, &w);
}

namespace {

// The spec word of the argument at position `pos` of a descriptor block (for error messages):
// return: has a descriptor but is not counted among the spec's words.
void arg_word_at(const cell* fn, const cell* desc, uint32_t pos, cell* out) {
  const cell* d = memory::buffer_of(series::node_of(desc))->cells();
  uint32_t n = 0;
  for (uint32_t j = 0; j < pos; ++j)
    if (type_of(d + j) != type::typeset || ((d[j].header >> arg_kind::shift) & 3) != arg_kind::ret)
      ++n;
  function::spec_word_of(fn, n, out);
}

// The refinement of a descriptor block naming `symbol`, or null.
const cell* find_refinement(cell* desc, uint32_t symbol) {
  series_buffer* s = memory::buffer_of(series::node_of(desc));
  const cell* end = s->cells_tail();
  // The same spelling first (the usual case); then any spelling of the same word.
  for (const cell* c = s->cells(); c < end; ++c)
    if (type_of(c) == type::refinement && word::symbol_of(c) == symbol) return c;
  uint32_t want = symbol::resolve(symbol);
  for (const cell* c = s->cells(); c < end; ++c)
    if (type_of(c) == type::refinement && symbol::resolve(word::symbol_of(c)) == want) return c;
  return nullptr;
}

constexpr uint32_t max_refinements = 32;

// Every refinement absent: what a call without a path gives a native.
struct absent_refinements {
  int32_t refs[max_refinements];
  absent_refinements() {
    for (int32_t& r : refs) r = -1;
  }
};
const absent_refinements no_refinements;

// The push event for the value just pushed, taken from position `at` of the code.
void trace_push(cursor& c, uint32_t at) {
  cell code = c.code();
  cell pushed = *stack::last_value();
  trace::fire(trace::event::push, &code, at, nullptr, &pushed);
  c.refresh();
}

// Fetches one argument described by `ts` from the code and pushes it. At the tail of the code
// only a quoted argument that admits unset! can be given (unset!); `missing` reports the rest.
flow fetch_argument(cursor& c, const cell* ts_in, bool infix_right, bool& missing) {
  cell ts = *ts_in;
  uint32_t kind = (ts.header >> arg_kind::shift) & 3;
  missing = false;
  if (c.at_tail()) {
    if (kind == arg_kind::lit && typeset_has(&ts, type::unset)) {
      stack::push_unset();
    } else {
      missing = true;
    }
    return flow::normal;
  }
  switch (kind) {
    case arg_kind::normal:
      return eval_operand(c, infix_right);
    case arg_kind::get:
      if (trace::tracing) [[unlikely]] {
        cell code = c.code();
        cell fetched = *c.value();
        trace::fire(trace::event::fetch, &code, c.pos, nullptr, &fetched);
        c.refresh();
      }
      stack::push(c.value());
      c.pos++;
      if (trace::tracing) [[unlikely]] trace_push(c, c.pos - 1);
      return flow::normal;
    default: {  // lit
      cell v = *c.value();
      uint32_t t = type_of(&v);
      c.pos++;
      if (t == type::paren) {
        flow f = eval_block(&v, false);
        c.refresh();
        return f;
      }
      if (t == type::get_word) {
        stack::push(context::get_value(&v));
      } else if (t == type::get_path) {
        flow f = eval_path(c, &v, false, true);
        c.refresh();
        return f;
      } else {
        stack::push(&v);
      }
      return flow::normal;
    }
  }
}

}  // namespace

flow halt_on_interrupt() {
  sysrt::interrupt_pending = 0;
  if (!stack::find_catch_frame(stack::current_frame())) return flow::normal;
  context::intern_global(symbol::make("halt-request"), &stack::flow_value);
  context::intern_global(symbol::make("console"), &stack::flow_name);
  stack::get_call_name(&throw_where);
  throw_near = current_code;
  return flow::throw_;
}

namespace {

// A value reached along a path that has no elements: names the path up to the element that
// gave the value, as a path!.
[[noreturn]] void bad_path_type(const cell* path_in, int32_t i, const cell* elem_in,
                                const cell* value) {
  cell path = *path_in;
  cell elem = *elem_in;
  cell dt{type::datatype_, type_of(value), 0, 0};
  cell* so_far = block::push_only(static_cast<uint32_t>(i));
  set_type(so_far, type::path);
  for (int32_t k = 0; k < i; ++k) {
    cell e = *(block::rs_head(&path) + k);
    block::append_copy(so_far, &e);
  }
  cell s = *so_far;
  fire(err::script_bad_path_type, &elem, &dt, &s);
}

}  // namespace

flow call_infix_evaluated(const cell* op, const cell* name);

namespace {

// The value of a path's head word where it is bound and set; null otherwise.
inline const cell* path_head_value(const cell* path) {
  if (block::rs_length(path) < 1) return nullptr;
  const cell* head = block::rs_abs_at(path, series::index_of(path));
  if (type_of(head) != type::word) return nullptr;
  const cell* hv = bound_value(head);
  return hv && type_of(hv) != type::unset ? hv : nullptr;
}

// The value a two-element path reads without its walk (an object's field named by a word, a
// block's value at an integer), or null: the walk then runs, with its errors.
// `hv` is the value of its head word (path_head_value).
inline const cell* two_element_value(const cell* path, const cell* hv) {
  if (block::rs_length(path) != 2) return nullptr;
  const cell* elem = block::rs_abs_at(path, series::index_of(path)) + 1;
  if (type_of(hv) == type::object && type_of(elem) == type::word)
    return fast_paths::object_field(hv, elem);
  return fast_paths::block_pick(hv, elem);
}

// The number such a path holds, or null.
[[gnu::noinline]] const cell* path_number(const cell* path) {
  const cell* hv = path_head_value(path);
  const cell* v = hv ? two_element_value(path, hv) : nullptr;
  return v && fast_paths::number_operand(v) ? v : nullptr;
}

// A number in the code, or the number a word holds; null for anything else. Reading it runs no
// code and cannot fail.
inline const cell* number_at(const cell* c) {
  if (type_of(c) == type::word) c = bound_value(c);
  return c && fast_paths::number_operand(c) ? c : nullptr;
}

// The same, or the number such a path holds.
inline const cell* number_or_path_at(const cell* c) {
  return type_of(c) == type::path ? path_number(c) : number_at(c);
}

// An infix operator after a number: its right operand is evaluated inside the operator's
// frame, as the call does (an error there names the operator), then both computed in place
// (eval/fast_paths.h) or handed to the call.
[[gnu::always_inline]] inline flow infix_in_frame(cursor& c, const cell* op, const cell* name,
                                                  int fast) {
  // A right operand that is a number, or a word holding one, runs no code and cannot fail:
  // computed without the frame, which nothing could see (but a full stack, where opening it
  // or pushing the operand overflows, as it does below).
  if (!trace::tracing && stack::frame_top < stack::frame_limit && stack::top + 1 < stack::limit)
      [[likely]] {
    const cell* right = number_at(c.value());
    if (right && fast_paths::infix(fast, stack::top - 1, right)) {
      c.pos++;
      return flow::normal;
    }
  }
  stack::top--;
  stack::open_interpreted_native_frame(name);
  stack::top++;
  flow f = eval_operand(c, true);
  if (f != flow::normal) {
    stack::close_frame_dropping();
    return f;
  }
  c.refresh();
  cell* right = stack::top - 1;
  if (!trace::tracing && fast_paths::infix(fast, right - 1, right)) [[likely]] {
    stack::close_frame();
    return flow::normal;
  }
  cell* operands_top = stack::top;  // the call opens the frame again over both operands
  stack::close_frame_dropping();
  stack::top = operands_top;
  f = call_infix_evaluated(op, name);
  c.refresh();
  return f;
}

// The value cell a set-word writes directly, or null: unbound, no values, or a word of an
// object (set the generic way, which runs its change handler).
inline cell* direct_slot(const cell* w) {
  cell* slot = bound_value_rw(w);
  return slot && context::kind(word::context_of(w)) != context::kind_object ? slot : nullptr;
}

// The generic way opens frames and pushes values for a chain of numbers (a set-word's frame, an
// operator's, a paren's): the chains below are computed in place only with room for all of
// them, so that where the stacks are full the generic way overflows where it does.
constexpr uint32_t number_headroom = 8;
// Parens nested in a chain that are computed in place.
constexpr int number_paren_depth = 2;

inline bool room_for_numbers() {
  return !trace::tracing && stack::frame_top + number_headroom < stack::frame_limit &&
         stack::top + number_headroom < stack::limit;
}

const cell* chain_rest(const cell* at, const cell* end, cell* acc, int depth);

// The cells of a paren that may be a chain as a whole (a number, then operator and number
// pairs: an odd count); false for others.
inline bool chain_paren_cells(const cell* paren, const cell*& p, const cell*& end) {
  series_buffer* s = memory::buffer_of(series::node_of(paren));
  p = s->cells() + series::index_of(paren);
  end = s->cells_tail();
  return p < end && (end - p) % 2 == 1;
}

// One operand of a chain, copied to `out`: a number, a word or two-element path holding one, or
// a paren that is a chain as a whole. False where it is anything else.
inline bool chain_operand(const cell* at, cell* out, int depth) {
  if (type_of(at) != type::paren) {
    const cell* v = number_or_path_at(at);
    if (!v) return false;
    *out = *v;
    return true;
  }
  const cell *p, *end;
  if (depth == 0 || !chain_paren_cells(at, p, end)) return false;
  return chain_operand(p, out, depth - 1) && chain_rest(p + 1, end, out, depth - 1) == end;
}

/*
 * A chain of numbers and operators on them (`x * x`, `i % 10`, `o/a + (x / r * dt)`): an
 * operand, then operator and operand pairs, up to the first cell that is not a word holding an
 * op!. Its value is computed in place when every operator takes the inline way: nothing in it
 * runs code or can fail, so the frames the generic way opens, which nothing could see, are not
 * opened. This takes the operator and operand pairs from `at` on, the value so far in `acc`,
 * and answers the position past the chain, or null where any of it must take the generic way.
 */
[[gnu::always_inline]] inline const cell* chain_steps(const cell* at, const cell* end, cell* acc,
                                                      int depth) {
  for (; at < end && type_of(at) == type::word; at += 2) {
    const cell* op = bound_value(at);
    if (!op || type_of(op) != type::op) break;
    cell right;
    if (at + 1 >= end || !chain_operand(at + 1, &right, depth)) return nullptr;
    int kind = fast_paths::infix_kind(op);
    if (!kind || !fast_paths::infix(kind, acc, &right)) return nullptr;
  }
  return at;
}

// The same out of line, for parens.
[[gnu::noinline]] const cell* chain_rest(const cell* at, const cell* end, cell* acc, int depth) {
  return chain_steps(at, end, acc, depth);
}

// A paren that is a chain as a whole, its value pushed. False: nothing was pushed. One without
// parens inside needs only a value's room (where the stacks are full, its frame's way
// overflows as it does); parens inside it are computed in place only with room to spare.
[[gnu::always_inline]] inline bool number_paren(const cell* paren) {
  const cell *p, *end;
  if (!chain_paren_cells(paren, p, end) || trace::tracing ||
      stack::frame_top >= stack::frame_limit || stack::top + 1 >= stack::limit)
    return false;
  int depth = room_for_numbers() ? number_paren_depth - 1 : 0;
  cell value;
  if (!chain_operand(p, &value, depth) || chain_rest(p + 1, end, &value, depth) != end)
    return false;
  stack::push(&value);
  return true;
}

/*
 * A set-word or a set-path to an object's field, and a chain (`n: n + 1`, `o/a: o/a + 1`),
 * taken in place: the word or field set and the value pushed, as the generic way leaves them.
 * A word of an object, and a field with a change handler, are set the generic way. False:
 * nothing was changed. The first operand is looked at here, so that a set-word before a call
 * costs little.
 */
[[gnu::always_inline]] inline bool number_set(cursor& c) {
  const cell* target = c.value();
  const cell* at = target + 1;
  const cell* end = c.head + c.tail;
  if (at >= end) return false;
  uint32_t t = type_of(at);
  const cell* first = at;
  if (t == type::word) {
    first = bound_value(at);
    if (!first) return false;
    t = type_of(first);
  }
  if (t != type::integer && t != type::float_ && t != type::path) return false;
  if (!room_for_numbers()) return false;
  cell value;
  if (t == type::path) {
    if (!chain_operand(at, &value, 0)) return false;
  } else {
    value = *first;
  }
  const cell* past = chain_steps(at + 1, end, &value, number_paren_depth);
  if (!past) return false;
  if (type_of(target) == type::set_word) {
    cell* slot = direct_slot(target);
    if (!slot) return false;
    *slot = value;
  } else {
    const cell* object = path_head_value(target);
    if (!object || type_of(object) != type::object || block::rs_length(target) != 2) return false;
    const cell* field = block::rs_abs_at(target, series::index_of(target)) + 1;
    if (type_of(field) != type::word || !fast_paths::set_object_field(object, field, &value))
      return false;
  }
  stack::push(&value);
  c.pos = static_cast<uint32_t>(past - c.head);
  return true;
}

}  // namespace

namespace {

flow eval_set_word(cursor& c);

// A set-word's expression as eval_expression takes it, with one activation fewer: operators
// after it are applied to its value (a word the set made an op! is one).
inline flow set_word_expression(cursor& c) {
  flow f = eval_set_word(c);
  if (f != flow::normal) return f;
  const cell* op = op_at(c);
  return op ? eval_infix(c, op) : flow::normal;
}

// The expressions of a block, in the current frame.
[[gnu::always_inline]] inline flow eval_expressions(const cell* block) {
  cell saved_code = current_code;
  cell code = *block;
  cursor c(&code);
  if (trace::tracing) [[unlikely]]
    trace::fire(trace::event::enter, &code, c.pos, nullptr, nullptr);
  if (c.at_tail()) {
    stack::arguments->header = type::unset;
    stack::top = stack::arguments + 1;
  } else {
    // Library code leaves the position of the user's code in place for errors.
    bool user_code = !(memory::buffer_of(series::node_of(&code))->flags & series_flag::library);
    if (user_code) {
      current_code = code;
      set_type(&current_code, type::block);  // a paren's code too
    }
    do {
      stack::top = stack::arguments;
      if (user_code) current_code.data1 = c.pos;
      flow f = type_of(c.value()) == type::set_word && !trace::tracing ? set_word_expression(c)
                                                                      : eval_operand(c, false);
      if (f != flow::normal) [[unlikely]] {
        current_code = saved_code;
        return f;
      }
      if (trace::tracing) [[unlikely]]
        trace::fire(trace::event::expr, &code, c.pos, nullptr, stack::arguments);
    } while (!c.at_tail());
  }
  if (trace::tracing) [[unlikely]]
    trace::fire(trace::event::exit, &code, c.tail, nullptr, stack::arguments);
  current_code = saved_code;
  return flow::normal;
}

}  // namespace

/*
 * While tracing, any event's callback may raise an exit, from C++ code that runs between the
 * expressions (see exit_in_flight): each block then takes it back as a status, at the innermost
 * block evaluation, inside every target. The stacks go back to where the block began; the top
 * has no meaning after an exit, since every caller drops its frame's values.
 */
[[gnu::noinline]] flow eval_body_traced(const cell* block) {
  call_frame* saved_frame_top = stack::frame_top;
  cell saved_code = current_code;
  try {
    return eval_expressions(block);
  } catch (const exit_in_flight& e) {
    // The base this block ran on is what the first frame opened since then saved.
    cell* base = stack::frame_top > saved_frame_top ? stack::at_index(saved_frame_top->saved_base)
                                                    : stack::arguments;
    stack::unwind_to({base, base, saved_frame_top});
    current_code = saved_code;
    return e.status;
  }
}

namespace {

[[gnu::always_inline]] inline flow body(const cell* block) {
  sysrt::check_native_stack();
  if (sysrt::interrupt_pending) [[unlikely]] {
    if (halt_on_interrupt() != flow::normal) return flow::throw_;
  }
  if (trace::active) [[unlikely]] return eval_body_traced(block);
  return eval_expressions(block);
}

}  // namespace

flow eval_body(const cell* block) { return body(block); }

namespace {

// A block in a <body> frame of its own (eval_block).
[[gnu::always_inline]] inline flow block_in_frame(const cell* block, bool to_result) {
  stack::open_block_frame(&body_name);
  flow f = body(block);
  if (f != flow::normal) [[unlikely]] {
    stack::close_frame_dropping();
    return f;
  }
  if (to_result)
    stack::close_frame_to_result();
  else
    stack::close_frame();
  return flow::normal;
}

}  // namespace

flow eval_block(const cell* block, bool to_result) { return block_in_frame(block, to_result); }

namespace {

// A set-word and the expression whose value it takes (the set-word at the cursor).
[[gnu::noinline]] flow eval_set_word(cursor& c) {
  if (number_set(c)) return flow::normal;
  const cell* v = c.value();
  cell w = *v;
  c.pos++;
  if (c.at_tail()) fire(err::script_need_value, &w);
  stack::open_native_frame(&w);
  if (trace::tracing) [[unlikely]] {
    stack::push(&w);
    trace_push(c, c.pos - 1);
    stack::top--;
  }
  flow f = eval_operand(c, false);
  if (f != flow::normal) {
    stack::close_frame_dropping();
    return f;
  }
  cell* value = stack::last_value();
  if (type_of(value) == type::unset) fire(err::script_need_value, &w);
  if (trace::tracing) [[unlikely]] {
    cell set_value = *value;
    trace::fire(trace::event::set, nullptr, 0, &w, &set_value);
    value = stack::last_value();
  }
  if (cell* value_cell = direct_slot(&w)) {
    *value_cell = *value;
  } else {
    cell set_value = *value;
    f = catching_exits([&] { context::set_value(&w, &set_value); });  // on-change*
    if (f != flow::normal) {
      stack::close_frame_dropping();
      return f;
    }
  }
  stack::close_frame();  // the set value stays as the expression's value
  c.refresh();
  return flow::normal;
}

// Infix operators chain left to right, with no precedence, after the value just pushed; `val`
// is the op! value the word at the cursor holds (op_at found it).
[[gnu::always_inline]] inline flow infix_chain_from(cursor& c, const cell* val) {
  do {
    cell op = *val;
    cell name = *c.value();
    c.pos++;
    // Fast path: numbers computed inline (eval/fast_paths.h), the call made only where they
    // decline; the right operand is evaluated inside the operator's frame, as the call would
    // (infix_in_frame).
    int fast = trace::tracing ? 0 : fast_paths::infix_kind(&op);
    if (fast && !c.at_tail()) {
      uint32_t left_type = type_of(stack::top - 1);
      if (left_type == type::integer || left_type == type::float_) {
        flow f = infix_in_frame(c, &op, &name, fast);
        if (f != flow::normal) return f;
        continue;
      }
    }
    flow f = eval_call(c, &op, &name, true, nullptr, 0, 0);
    if (f != flow::normal) return f;
  } while ((val = op_at(c)));
  return flow::normal;
}

[[gnu::always_inline]] inline flow infix_chain(cursor& c) {
  const cell* val = op_at(c);
  return val ? infix_chain_from(c, val) : flow::normal;
}

}  // namespace

flow eval_infix(cursor& c, const cell* op) { return infix_chain_from(c, op); }

flow eval_expression(cursor& c, bool no_infix, bool literal_functions) {
  if (trace::tracing) [[unlikely]] {
    cell code = c.code();
    cell fetched = *c.value();
    trace::fire(trace::event::fetch, &code, c.pos, nullptr, &fetched);
    c.refresh();
  }
  const cell* v = c.value();
  uint32_t t = type_of(v);
  switch (t) {
    case type::paren: {
      cell p = *v;
      c.pos++;
      if (number_paren(&p)) break;
      flow f = eval_block(&p, false);
      c.refresh();
      if (f != flow::normal) return f;
      break;
    }
    case type::word: {
      const cell* val = word_value(v);
      uint32_t vt = type_of(val);
      if (calls_value(vt)) {
        flow f = call_through_word(c, v, val);
        if (f != flow::normal) return f;
      } else if (vt == type::op) {
        fire(err::script_no_op_arg, v);
      } else {
        stack::push(val);
        c.pos++;
        if (trace::tracing) [[unlikely]] trace_push(c, c.pos - 1);
      }
      break;
    }
    case type::set_word: {
      flow f = eval_set_word(c);
      if (f != flow::normal) return f;
      break;
    }
    case type::lit_word:
    case type::lit_path: {
      // A quoted word or path evaluates to the plain word or path.
      cell* r = stack::push(v);
      set_type(r, t == type::lit_word ? type::word : type::path);
      c.pos++;
      break;
    }
    case type::get_word: {
      cell w = *v;
      stack::push(context::get_value(&w));
      c.pos++;
      break;
    }
    case type::issue: {
      if (word::symbol_of(v) == words::sym.system || word::symbol_of(v) == words::sym.system_global)
        fire(err::internal_kaz_system);
      stack::push(v);
      c.pos++;
      break;
    }
    case type::native:
    case type::action:
    case type::function:
    case type::routine: {
      cell fn = *v;
      c.pos++;
      if (literal_functions) {
        stack::push(&fn);
      } else {
        flow f = eval_call(c, &fn, &anon_name, false, nullptr, 0, 0);
        if (f != flow::normal) return f;
      }
      break;
    }
    case type::op:
      fire(err::internal_not_done);
    case type::path: {
      cell p = *v;
      c.pos++;
      // The commonest paths without the walk's set-up: a function called with refinements, an
      // object's field or a block's value read (as eval_path takes them).
      if (const cell* hv = trace::tracing ? nullptr : path_head_value(&p)) {
        if (function::is_any_function(type_of(hv))) {
          cell fn = *hv;
          cell head = *block::rs_abs_at(&p, series::index_of(&p));
          flow f = eval_call(c, &fn, &head, false, &p, 1, 0);
          if (f != flow::normal) return f;
          c.refresh();
          break;
        }
        const cell* read = two_element_value(&p, hv);
        if (read && !function::is_any_function(type_of(read))) {
          stack::push(read);
          break;
        }
      }
      flow f = eval_path(c, &p, false, false);
      if (f != flow::normal) return f;
      c.refresh();
      break;
    }
    case type::get_path: {
      cell p = *v;
      c.pos++;
      flow f = eval_path(c, &p, false, true);
      if (f != flow::normal) return f;
      c.refresh();
      break;
    }
    case type::set_path: {
      if (number_set(c)) break;
      cell p = *v;
      c.pos++;
      if (c.at_tail()) fire(err::script_need_value, &p);
      stack::open_native_frame(&set_path_name);
      flow f = eval_operand(c, false);
      // Setting may run an owner's handler: its exit crosses the path's C++ code.
      if (f == flow::normal) f = catching_exits_flow([&] { return eval_path(c, &p, true, false); });
      if (f != flow::normal) {
        stack::close_frame_dropping();
        return f;
      }
      // eval_path pushed the assigned value above the evaluated one; keep one.
      cell result = *stack::last_value();
      stack::top = stack::arguments;
      stack::push(&result);
      stack::close_frame();
      c.refresh();
      break;
    }
    default:
      stack::push(v);
      c.pos++;
      if (trace::tracing) [[unlikely]] trace_push(c, c.pos - 1);
      break;
  }

  // Every path above leaves the cursor refreshed after anything that could run code.
  if (no_infix) return flow::normal;
  return infix_chain(c);
}

namespace {

// call_function's work, inline in the interpreter's own calls.
[[gnu::always_inline]] inline flow function_call(const cell* fn_in, node_t lookup) {
  cell fn = *fn_in;
  node_t ctx = function::own_context_of(&fn);
  // The context's values and the tracing state are put back however the call ends: an error
  // or an exit out of a trace event crosses this frame, and the outer activation of a
  // recursive function must read its own values again.
  struct activation {
    node_t ctx;
    uint32_t values;
    bool tracing;
    bool builtin;
    ~activation() {
      context::header_cell_rw(ctx)->data2 = values;
      trace::tracing = tracing;
      if (builtin && trace::switched) [[unlikely]] {
        trace::tracing = trace::traced();  // `trace true/false` returns to the traced code
        trace::switched = false;
      }
    }
  } outer{ctx, context::header_cell(ctx)->data2, trace::tracing,
          (fn.header & function_flag::builtin) != 0};
  context::header_cell_rw(ctx)->data2 = stack::index_of(stack::arguments);
  stack::set_top_body_flag(true);
  cell body = function::extra_cells(&fn)[extra::body];
  if (fn.header & (function_flag::no_trace | function_flag::builtin)) trace::tracing = false;
  if (fn.header & function_flag::trace) trace::tracing = trace::active;
  cell name{type::none, 0, 0, 0};
  if (trace::tracing) [[unlikely]] {
    call_frame* f = stack::current_frame();
    context::word_of_symbol(f->name_context, stack::frame_symbol(f), &name);
    trace::fire(trace::event::prolog, nullptr, 0, &name, &fn);
  }
  flow f = flow::normal;
  if (type_of(&body) == type::block) {
    f = block_in_frame(&body, true);  // above the arguments and locals, which live in this frame
  } else {
    stack::arguments->header = type::unset;
  }
  if (trace::tracing) [[unlikely]] {
    if (type_of(&name) == type::none) {  // tracing began inside the body
      call_frame* f = stack::current_frame();
      context::word_of_symbol(f->name_context, stack::frame_symbol(f), &name);
    }
    trace::fire(trace::event::epilog, nullptr, 0, &name, &fn);
  }
  (void)lookup;
  if (f == flow::return_) {
    stack::set_last(&stack::flow_value);
    stack::top = stack::arguments + 1;
    return flow::normal;
  }
  if (f == flow::exit) {
    stack::arguments->header = type::unset;
    stack::top = stack::arguments + 1;
    return flow::normal;
  }
  return f;
}

}  // namespace

flow call_function(const cell* fn_in, node_t lookup) { return function_call(fn_in, lookup); }

flow call_infix_evaluated(const cell* op_in, const cell* name_in) {
  cell fn = *op_in;
  cell name = *name_in;
  uint32_t wrapped = (fn.header >> 16) & 0xFF;
  fn.header = (fn.header & ~0x00FF00FFu) | wrapped;
  cell* left = stack::top - 2;
  stack::top = left;
  stack::open_interpreted_native_frame(&name);
  stack::top = left + 2;
  cell desc_block = *function::descriptors(&fn);
  uint32_t k = 0;
  for (uint32_t i = 0; k < 2; ++i) {
    const cell* d = memory::buffer_of(series::node_of(&desc_block))->cells() + i;
    if (type_of(d) != type::typeset) break;
    if (((d->header >> arg_kind::shift) & 3) == arg_kind::ret) continue;
    cell* got = stack::arguments + k;
    if (!typeset::has(d, type_of(got))) {
      cell aw;
      function::spec_word_of(&fn, k, &aw);
      expect_arg(&name, got, &aw);
    }
    ++k;
  }
  int32_t refs[max_refinements];
  for (int32_t& r : refs) r = -1;
  flow f = catching_exits_flow([&] { return function::entry_of(&fn)(refs); });
  if (f != flow::normal) {
    stack::close_frame_dropping();
    return f;
  }
  stack::close_frame();
  return flow::normal;
}

flow eval_call(cursor& c, const cell* fn_in, const cell* name_in, bool infix, const cell* path,
               uint32_t path_pos, node_t lookup) {
  sysrt::check_native_stack();
  cell fn = *fn_in;
  cell name = *name_in;
  uint32_t t = type_of(&fn);
  if (t == type::op) {
    uint32_t wrapped = (fn.header >> 16) & 0xFF;
    if (wrapped == type::function || wrapped == type::routine) {
      fn = function::extra_cells(&fn)[extra::op_function];
    } else {
      fn.header = (fn.header & ~0x00FF00FFu) | wrapped;
    }
    t = type_of(&fn);
  }
  // Fast path: if, unless and either run inline (eval/control_inline.h).
  if (t == type::native && !infix && !path && !trace::tracing) {
    if (int kind = control_inline::kind_of(&fn)) return control_inline::run(c, &fn, &name, kind);
  }
  if (trace::tracing) [[unlikely]] {
    cell code = c.code();
    uint32_t at = c.pos > c.index ? c.pos - 1 : c.pos;  // the word or path that called
    trace::fire(trace::event::open, &code, at, &name, &fn);
    c.refresh();
  }
  // The call's frame: an infix call's frame begins at its left operand; a prefix call's result
  // lands where the frame begins.
  if (infix) stack::top--;
  if (t == type::function)
    stack::open_interpreted_function_frame(&name);
  else
    stack::open_interpreted_native_frame(&name);
  if (infix) stack::top++;

  // The descriptor block never changes once built, and a pointer into it on the native stack
  // pins it: it can be walked directly while arguments are evaluated.
  cell desc_block = *function::descriptors(&fn);
  const cell* dcells = memory::buffer_of(series::node_of(&desc_block))->cells();
  const cell* dend =
      memory::buffer_of(series::node_of(&desc_block))->cells_tail() - 1;  // the count cell
  int32_t refs[max_refinements];

  // Fixed arguments.
  {
    uint32_t i = 0;
    const cell* d = dcells;
    if (infix) {
      // The left operand, on the stack already, is the first argument.
      for (; d < dend && type_of(d) == type::typeset; ++d, ++i) {
        if (((d->header >> arg_kind::shift) & 3) == arg_kind::ret) continue;
        cell* left = stack::arguments;
        if (!typeset::has(d, type_of(left))) [[unlikely]] {
          cell aw;
          function::spec_word_of(&fn, 0, &aw);
          expect_arg(&name, left, &aw);
        }
        ++d, ++i;
        break;
      }
    }
    for (; d < dend && type_of(d) == type::typeset; ++d, ++i) {
      if (((d->header >> arg_kind::shift) & 3) == arg_kind::ret) continue;
      bool missing = false;
      flow f = (!c.at_tail() && ((d->header >> arg_kind::shift) & 3) == arg_kind::normal)
                   ? eval_operand(c, infix)
                   : fetch_argument(c, d, infix, missing);
      if (missing) [[unlikely]] {
        cell aw;
        function::spec_word_of(&fn, i, &aw);
        fire(err::script_no_arg, &name, &aw);
      }
      if (f != flow::normal) [[unlikely]] {
        stack::close_frame_dropping();
        return f;
      }
      cell* got = stack::last_value();
      if (!typeset::has(d, type_of(got))) [[unlikely]] {
        cell aw;
        function::spec_word_of(&fn, i, &aw);
        expect_arg(&name, got, &aw);
      }
    }
  }

  // Refinement slots: function! lays out every slot of its context; natives get positions.
  uint32_t refinement_total = dend->data2;
  if (refinement_total > max_refinements) [[unlikely]] fire(err::internal_limit_hit);
  cell* base = stack::arguments;
  uint32_t base_index = stack::index_of(base);
  if (t == type::function) {
    if (refinement_total) {
      // false for each refinement, none! for its arguments.
      bool seen_refinement = false;
      for (const cell* d = dcells; d < dend; ++d) {
        if (type_of(d) == type::refinement) {
          seen_refinement = true;
          stack::push_logic(false);
        } else if (seen_refinement && ((d->header >> arg_kind::shift) & 3) != arg_kind::ret) {
          stack::push_none();
        }
      }
    }
    uint32_t slots = context::size(function::own_context_of(&fn));
    uint32_t pushed = static_cast<uint32_t>(stack::top - base);
    if (pushed < slots) {
      stack::push_logic(false);  // the /local slot
      while (static_cast<uint32_t>(stack::top - base) < slots) stack::push_none();
    }
  } else if (path) {
    // Every slot starts absent: a native made at run time may have fewer refinements in its
    // spec than its entry reads.
    for (int32_t& r : refs) r = -1;
  }

  // Refinements named by the path, with their arguments in path order.
  if (path) {
    cell p = *path;
    uint32_t used = 0;  // bit per refinement ordinal (up to 32)
    for (uint32_t pi = path_pos;; ++pi) {
      int32_t plen = block::rs_length(&p);
      if (static_cast<int32_t>(pi) >= plen) break;
      cell elem = *(block::rs_head(&p) + pi);
      if (type_of(&elem) == type::get_word) {
        elem = *context::get_value(&elem);
      }
      if (!is_any_word(type_of(&elem))) fire(err::script_no_refine, &name, &elem);
      const cell* r = find_refinement(&desc_block, word::symbol_of(&elem));
      if (!r) fire(err::script_no_refine, &name, &elem);
      cell ref = *r;
      uint32_t ordinal = ref.data1;  // 1-based among refinements
      if (ordinal <= 32 && (used & (1u << (ordinal - 1)))) fire(err::script_dup_refine, &p);
      if (ordinal <= 32) used |= 1u << (ordinal - 1);
      // The refinement's argument typesets follow it in the descriptor block.
      uint32_t at =
          static_cast<uint32_t>(r - memory::buffer_of(series::node_of(&desc_block))->cells());
      // A function! gets the refinement's slot set and its arguments stored in the slots after
      // it; a native gets the stack position where the arguments are pushed.
      bool is_fn = t == type::function;
      uint32_t slot = ref.data3;
      if (is_fn) {
        stack::at_index(base_index + slot)->header = type::logic;
        stack::at_index(base_index + slot)->data1 = 1;
      } else {
        refs[ordinal - 1] = static_cast<int32_t>(stack::top - stack::at_index(base_index));
      }
      for (uint32_t k = 1;; ++k) {
        const cell* d = memory::buffer_of(series::node_of(&desc_block))->cells() + at + k;
        if (type_of(d) != type::typeset || ((d->header >> arg_kind::shift) & 3) == arg_kind::ret)
          break;
        cell ts = *d;
        bool missing;
        flow f = fetch_argument(c, &ts, infix, missing);
        c.refresh();
        if (missing) [[unlikely]] {
          cell aw;
          arg_word_at(&fn, &desc_block, at + k, &aw);
          fire(err::script_no_arg, &name, &aw);
        }
        if (f != flow::normal) {
          stack::close_frame_dropping();
          return f;
        }
        if (!typeset::has(&ts, type_of(stack::last_value()))) [[unlikely]] {
          cell aw;
          arg_word_at(&fn, &desc_block, at + k, &aw);
          expect_arg(&name, stack::last_value(), &aw);
        }
        if (is_fn) *stack::at_index(base_index + slot + k) = *--stack::top;
      }
    }
  }

  // The call. An exit raised in C++ code that it runs (a comparator, a change handler) comes
  // back here as a status: this call is not its target.
  if (trace::tracing) [[unlikely]] {
    cell code = c.code();
    trace::fire(trace::event::call, &code, c.pos, &name, &fn);
  }
  flow f = catching_exits_flow([&] {
    switch (t) {
      case type::function:
        return function_call(&fn, lookup);
      case type::native:
      case type::action:
        return function::entry_of(&fn)(path ? refs : no_refinements.refs);
      case type::routine:
        return call_routine(&fn);
      default:
        fire(err::internal_not_done);
    }
  });
  return end_call(c, f, &name);
}

flow call_routine(const cell* fn) {
  uint32_t index =
      static_cast<uint32_t>(integer_type::value_of(&function::extra_cells(fn)[extra::code]));
  routine_entry e = function::routine_table_entry(index);
  if (!e) fire(err::internal_routines);
  // Without arguments the result slot lies at the top: taken in, so what a routine builds
  // there stays in the collector's sight.
  if (stack::top == stack::arguments) stack::push_unset();
  e(stack::arguments);
  stack::top = stack::arguments + 1;
  return flow::normal;
}

namespace {

// The walk of a path from its head's value: each value reached and the selector that reached it
// kept on the stack, each step taken by the parent's datatype (out of line: the common paths
// are answered before it).
[[gnu::noinline]] flow walk_path(cursor& c, cell path, cell head, const cell* hv, int32_t len, bool set,
                                 bool get, bool case_) {
  // The value to store in set mode is the last pushed value.
  cell to_set;
  if (set) to_set = *stack::last_value();

  // Walk: each value reached and the selector that reached it are kept on the stack (so the
  // collector sees them, and a scalar changed in place can be stored back into its container).
  uint32_t start = stack::index_of(stack::top);
  stack::push(hv);   // value 0
  stack::push(&head);  // its selector: the head word
  auto value_at = [&](int32_t k) { return stack::at_index(start + 2 * uint32_t(k)); };
  auto selector_at = [&](int32_t k) { return stack::at_index(start + 2 * uint32_t(k) + 1); };
  for (int32_t i = 1; i < len; ++i) {
    cell elem = *(block::rs_head(&path) + i);
    uint32_t at = series::index_of(&path) + static_cast<uint32_t>(i);
    if (trace::tracing) [[unlikely]] trace::fire(trace::event::fetch, &path, at, nullptr, &elem);
    uint32_t et = type_of(&elem);
    if (et == type::get_word) {
      elem = *context::get_value(&elem);
    } else if (et == type::paren) {
      flow f = eval_block(&elem, false);
      if (f != flow::normal) {
        stack::top = stack::at_index(start);
        return f;
      }
      elem = *stack::last_value();
      stack::top--;
    }
    if (trace::tracing) [[unlikely]] trace::fire(trace::event::push, &path, at, nullptr, &elem);
    if (type_of(&elem) == type::unset) fire(err::script_invalid_path, &path, &elem);
    bool last = i == len - 1;
    cell* parent = value_at(i - 1);
    cell* gparent = i >= 2 ? value_at(i - 2) : nullptr;
    // Fast path: an object's field through the lookup cache (eval/fast_paths.h).
    if (type_of(parent) == type::object) {
      if (last && set) {
        if (fast_paths::set_object_field(parent, &elem, &to_set)) {
          stack::top = stack::at_index(start);
          stack::push(&to_set);
          return flow::normal;
        }
      } else if (const cell* field = fast_paths::object_field(parent, &elem)) {
        cell next = *field;
        if (!(function::is_any_function(type_of(&next)) && !set && !get)) {
          stack::push(&next);
          stack::push(&elem);
          continue;
        }
      }
    }
    // Fast path: a block's value picked by an integer within it.
    if (!(last && set)) {
      if (const cell* picked = fast_paths::block_pick(parent, &elem)) {
        cell next = *picked;
        if (!(function::is_any_function(type_of(&next)) && !set && !get)) {
          stack::push(&next);
          stack::push(&elem);
          continue;
        }
      }
    }
    const action_row& row = registry::row(type_of(parent));
    if (!row.eval_path) bad_path_type(&path, i, &elem, parent);
    const cell* r = row.eval_path(parent, &elem, (last && set) ? &to_set : nullptr, &path, gparent,
                            nullptr, i, case_, get, last);
    if (last && set) {
      // A value held by value (a scalar) changed in place is stored back into what holds it,
      // up the path until a series or object (changed in place) or the head word.
      for (int32_t k = i - 1; k >= 0; --k) {
        cell* changed = value_at(k);
        uint32_t t = type_of(changed);
        bool by_reference = is_any_block(t) || is_any_string(t) || t == type::object ||
                            t == type::error || t == type::port || t == type::map ||
                            t == type::binary || t == type::vector || t == type::image ||
                            t == type::bitset || t == type::hash;
        if (by_reference) break;
        if (k == 0) {
          cell w = *selector_at(0);
          context::set_value(&w, changed);
          break;
        }
        cell* holder = value_at(k - 1);
        cell key = *selector_at(k);
        cell value = *changed;
        const action_row& hrow = registry::row(type_of(holder));
        if (!hrow.eval_path) break;
        hrow.eval_path(holder, &key, &value, &path, k >= 2 ? value_at(k - 2) : nullptr, nullptr,
                       k, case_, false, true);
      }
      stack::top = stack::at_index(start);
      stack::push(&to_set);
      return flow::normal;
    }
    cell next = *r;
    if (function::is_any_function(type_of(&next)) && !set && !get) {
      node_t lookup = type_of(parent) == type::object ? object::context_of(parent) : 0;
      stack::top = stack::at_index(start);
      return eval_call(c, &next, &elem, false, &path, static_cast<uint32_t>(i + 1), lookup);
    }
    stack::push(&next);
    stack::push(&elem);
  }
  cell result = *value_at(len - 1);
  stack::top = stack::at_index(start);
  stack::push(&result);
  return flow::normal;
}

}  // namespace

flow eval_path(cursor& c, const cell* path_in, bool set, bool get, bool case_) {
  cell path = *path_in;
  int32_t len = block::rs_length(&path);
  if (len <= 0) fire(err::script_empty_path);
  cell head = *block::rs_head(&path);
  if (trace::tracing) [[unlikely]] {
    trace::fire(trace::event::enter, &path, series::index_of(&path), nullptr, nullptr);
    trace::fire(trace::event::fetch, &path, series::index_of(&path), nullptr, &head);
  }
  if (type_of(&head) != type::word) fire(err::script_word_first, &path);
  const cell* hv = bound_value(&head);
  if (!hv) hv = context::get_value(&head);
  if (type_of(hv) == type::unset) fire(err::script_unset_path, &path, &head);
  if (function::is_any_function(type_of(hv))) {
    if (set) fire(err::script_invalid_path_set, &path);
    if (get) fire(err::script_invalid_path_get, &path);
    cell fn = *hv;
    return eval_call(c, &fn, &head, false, &path, 1, 0);
  }
  // Fast path: block/integer and block/:word read or set without the walk (eval/fast_paths.h).
  if (len == 2 && type_of(hv) == type::block && !trace::tracing) {
    cell elem = *(block::rs_head(&path) + 1);
    // A get-word is read again by the walk when this declines: reading changes nothing.
    if (type_of(&elem) == type::get_word) elem = *context::get_value(&elem);
    if (set) {
      if (type_of(&elem) == type::integer) {
        // The block's own path step: poke, with its checks, owners and errors.
        cell target = *hv;
        cell value = *stack::last_value();
        series::poke(&target, integer_type::value_of(&elem), &value, &elem);
        stack::push(&value);
        return flow::normal;
      }
    } else if (const cell* picked = fast_paths::block_pick(hv, &elem)) {
      cell next = *picked;
      if (!(function::is_any_function(type_of(&next)) && !get)) {
        stack::push(&next);
        return flow::normal;
      }
    }
  }
  // Fast path: object/field read or set without the walk (eval/fast_paths.h).
  if (len == 2 && type_of(hv) == type::object && !trace::tracing) {
    cell elem = *(block::rs_head(&path) + 1);
    if (type_of(&elem) == type::word) {
      if (set) {
        cell value = *stack::last_value();
        if (fast_paths::set_object_field(hv, &elem, &value)) {
          stack::push(&value);
          return flow::normal;
        }
      } else if (const cell* field = fast_paths::object_field(hv, &elem)) {
        cell next = *field;
        if (!(function::is_any_function(type_of(&next)) && !get)) {
          stack::push(&next);
          return flow::normal;
        }
      }
    }
  }
  return walk_path(c, path, head, hv, len, set, get, case_);
}

flow eval_next(const cell* block, uint32_t& index_out) {
  cell code = *block;
  cursor c(&code);
  stack::open_native_frame(&body_name);
  if (c.at_tail()) {
    stack::arguments->header = type::unset;
    stack::top = stack::arguments + 1;
    stack::close_frame_to_result();
    index_out = c.pos;
    return flow::normal;
  }
  flow f = eval_expression(c, false);
  if (f != flow::normal) {
    stack::close_frame_dropping();
    return f;
  }
  index_out = c.pos;
  *stack::arguments = *stack::last_value();
  stack::top = stack::arguments + 1;
  stack::close_frame_to_result();
  return flow::normal;
}

namespace {

// An op! as the function it wraps, for calls that give both arguments themselves.
void unwrap_op(cell& fn) {
  if (type_of(&fn) != type::op) return;
  uint32_t wrapped = (fn.header >> 16) & 0xFF;
  if (wrapped == type::function || wrapped == type::routine)
    fn = function::extra_cells(&fn)[extra::op_function];
  else
    fn.header = (fn.header & ~0x00FF00FFu) | wrapped;
}

// The arguments on the stack against a native's or action's fixed arguments: natives take
// their types as checked (an integer given to `if` was run as a block), so a value of another
// type is the caller's error, as is a missing one.
void check_native_arguments(cell* fn, const cell* name) {
  cell db = *function::descriptors(fn);
  const series_buffer* ds = memory::buffer_of(series::node_of(&db));
  auto given = static_cast<uint32_t>(stack::top - stack::arguments);
  uint32_t k = 0;
  for (const cell* d = ds->cells(); d < ds->cells_tail() - 1; ++d) {
    if (type_of(d) != type::typeset) break;
    if (((d->header >> arg_kind::shift) & 3) == arg_kind::ret) continue;
    cell desc = *d;
    if (k >= given) fire(err::script_no_arg, name, &desc);
    const cell* v = stack::arguments + k;
    if (!typeset::has(&desc, type_of(v))) {
      cell aw;
      function::spec_word_of(fn, k, &aw);
      expect_arg(name, v, &aw);
    }
    ++k;
  }
}

}  // namespace

flow call_with_arguments(const cell* fn_in, const cell* name) {
  cell fn = *fn_in;
  unwrap_op(fn);
  uint32_t t = type_of(&fn);
  if (t == type::native || t == type::action) check_native_arguments(&fn, name);
  if (t == type::function) {
    // Refinement and local slots after the given arguments.
    uint32_t slots = context::size(function::own_context_of(&fn));
    uint32_t have = static_cast<uint32_t>(stack::top - stack::arguments);
    const cell* desc = function::descriptors(&fn);
    cell db = *desc;
    series_buffer* ds = memory::buffer_of(series::node_of(&db));
    bool seen = false;
    for (const cell* d = ds->cells(); d < ds->cells_tail() - 1; ++d) {
      if (type_of(d) == type::refinement) {
        seen = true;
        stack::push_logic(false);
      } else if (seen && ((d->header >> arg_kind::shift) & 3) != arg_kind::ret) {
        stack::push_none();
      }
    }
    have = static_cast<uint32_t>(stack::top - stack::arguments);
    if (have < slots) {
      stack::push_logic(false);
      while (static_cast<uint32_t>(stack::top - stack::arguments) < slots) stack::push_none();
    }
    return call_function(&fn, 0);
  }
  if (t == type::native || t == type::action) {
    int32_t refs[max_refinements];
    for (int32_t& r : refs) r = -1;
    return function::entry_of(&fn)(refs);
  }
  if (t == type::routine) return call_routine(&fn);
  (void)name;
  fire(err::internal_not_done);
}

flow apply(const cell* fn_in, const cell* name_in, const cell* args_in, bool all, bool safer,
           const cell* path, uint32_t path_pos) {
  cell fn = *fn_in;
  cell name = *name_in;
  cell args = *args_in;
  unwrap_op(fn);
  uint32_t t = type_of(&fn);
  bool is_fn = t == type::function;
  cell* placeholder = stack::push(&fn);
  uint32_t placeholder_index = stack::index_of(placeholder);
  stack::push(&args);  // keeps the argument block alive
  if (is_fn)
    stack::open_interpreted_function_frame(&name);
  else
    stack::open_interpreted_native_frame(&name);
  uint32_t base = stack::index_of(stack::arguments);
  cell desc_block = *function::descriptors(&fn);
  cursor c(&args);

  auto fail = [&](flow f) {
    stack::close_frame_dropping();
    stack::top = stack::at_index(placeholder_index);
    return f;
  };
  // The next argument: an expression of the block, or none!/false past its end.
  auto next_value = [&](bool truth, bool& missing) -> flow {
    missing = c.at_tail();
    if (missing) {
      if (truth)
        stack::push_logic(false);
      else
        stack::push_none();
      return flow::normal;
    }
    flow f = eval_expression(c, false);
    c.refresh();
    return f;
  };
  auto check = [&](const cell* ts, const cell* v, uint32_t arg_index) {
    if (!typeset::has(ts, type_of(v))) {
      cell aw;
      function::spec_word_of(&fn, arg_index, &aw);
      expect_arg(&name, v, &aw);
    }
  };

  // Fixed arguments.
  uint32_t n_desc = memory::buffer_of(series::node_of(&desc_block))->length() - 1;
  uint32_t i = 0;
  uint32_t arg_index = 0;
  for (; i < n_desc; ++i) {
    cell d = *(memory::buffer_of(series::node_of(&desc_block))->cells() + i);
    if (type_of(&d) != type::typeset) break;
    if (((d.header >> arg_kind::shift) & 3) == arg_kind::ret) continue;
    bool missing;
    flow f = next_value(false, missing);
    if (f != flow::normal) return fail(f);
    if (missing && !all) fire(err::script_no_arg, &name, &d);
    check(&d, stack::last_value(), arg_index++);
  }
  int32_t refs[max_refinements];
  for (int32_t& r : refs) r = -1;
  uint32_t refinement_total =
      (memory::buffer_of(series::node_of(&desc_block))->cells() + n_desc)->data2;
  if (refinement_total > max_refinements) fire(err::internal_limit_hit);
  if (is_fn) {
    bool seen = false;
    for (uint32_t k = i; k < n_desc; ++k) {
      const cell* d = memory::buffer_of(series::node_of(&desc_block))->cells() + k;
      if (type_of(d) == type::refinement) {
        seen = true;
        stack::push_logic(false);
      } else if (seen && ((d->header >> arg_kind::shift) & 3) != arg_kind::ret) {
        stack::push_none();
      }
    }
    uint32_t slots = context::size(function::own_context_of(&fn));
    if (stack::index_of(stack::top) - base < slots) {
      stack::push_logic(false);
      while (stack::index_of(stack::top) - base < slots) stack::push_none();
    }
  }
  // Activates the refinement at descriptor index `at`, evaluating its arguments (or skipping
  // them when inactive under safer).
  auto refine = [&](uint32_t at, bool active) -> flow {
    cell ref = *(memory::buffer_of(series::node_of(&desc_block))->cells() + at);
    if (is_fn) stack::at_index(base + ref.data3)->data1 = active ? 1 : 0;
    if (!is_fn && active) refs[ref.data1 - 1] = static_cast<int32_t>(stack::index_of(stack::top) - base);
    for (uint32_t k = 1;; ++k) {
      cell d = *(memory::buffer_of(series::node_of(&desc_block))->cells() + at + k);
      if (type_of(&d) != type::typeset || ((d.header >> arg_kind::shift) & 3) == arg_kind::ret)
        break;
      if (!active && safer) {
        if (!c.at_tail()) c.pos++;  // skipped, not evaluated
        continue;
      }
      bool missing;
      flow f = next_value(false, missing);
      if (f != flow::normal) return f;
      cell v = *stack::last_value();
      if (active && !typeset::has(&d, type_of(&v))) {
        cell aw;
        arg_word_at(&fn, &desc_block, at + k, &aw);
        expect_arg(&name, &v, &aw);
      }
      if (is_fn) {
        stack::top--;
        *stack::at_index(base + ref.data3 + k) = active ? v : cell{type::none, 0, 0, 0};
      } else if (!active) {
        stack::top--;
      }
    }
    return flow::normal;
  };
  // Refinements named by the path are active.
  if (path) {
    cell p = *path;
    for (int32_t pi = static_cast<int32_t>(path_pos); pi < block::rs_length(&p); ++pi) {
      cell elem = *(block::rs_head(&p) + pi);
      if (type_of(&elem) == type::get_word) elem = *context::get_value(&elem);
      if (!is_any_word(type_of(&elem))) fire(err::script_no_refine, &name, &elem);
      const cell* r = find_refinement(&desc_block, word::symbol_of(&elem));
      if (!r) fire(err::script_no_refine, &name, &elem);
      flow f = refine(
          static_cast<uint32_t>(r - memory::buffer_of(series::node_of(&desc_block))->cells()),
          true);
      if (f != flow::normal) return fail(f);
    }
  }
  if (all) {
    for (uint32_t k = i; k < n_desc; ++k) {
      const cell* d = memory::buffer_of(series::node_of(&desc_block))->cells() + k;
      if (type_of(d) != type::refinement) continue;
      bool missing;
      flow f = next_value(true, missing);
      if (f != flow::normal) return fail(f);
      bool active = !is_false(stack::last_value());
      stack::top--;
      f = refine(k, active);
      if (f != flow::normal) return fail(f);
    }
  } else {
    while (!c.at_tail()) {
      cell r = *c.value();
      if (type_of(&r) != type::refinement) fire(err::script_invalid_arg, &r);
      c.pos++;
      const cell* found = find_refinement(&desc_block, word::symbol_of(&r));
      if (!found) fire(err::script_no_refine, &name, &r);
      uint32_t at =
          static_cast<uint32_t>(found - memory::buffer_of(series::node_of(&desc_block))->cells());
      bool missing;
      flow f = next_value(true, missing);
      if (f != flow::normal) return fail(f);
      bool active = !is_false(stack::last_value());
      stack::top--;
      f = refine(at, active);
      if (f != flow::normal) return fail(f);
    }
  }
  flow f = catching_exits_flow([&] {
    switch (t) {
      case type::function:
        return call_function(&fn, 0);
      case type::native:
      case type::action:
        return function::entry_of(&fn)(refs);
      case type::routine:
        return call_routine(&fn);
      default:
        fire(err::internal_not_done);
    }
  });
  if (f != flow::normal) return fail(f);
  stack::close_frame();
  cell* p = stack::at_index(placeholder_index);
  *p = *(stack::top - 1);
  stack::top = p + 1;
  return flow::normal;
}

flow do_block(const cell* block, cell* out) {
  cell b = *block;
  stack::open_native_frame(&body_name);
  flow f = eval_block(&b, true);
  if (f != flow::normal) {
    stack::close_frame_dropping();
    return f;
  }
  *out = *stack::arguments;
  stack::close_frame_dropping();
  return flow::normal;
}

flow do_value(const cell* value) {
  cell v = *value;
  uint32_t t = type_of(&v);
  if (t == type::block || t == type::paren) return eval_block(&v, false);
  // One value as its own code: a block holding it.
  cell* b = block::push_only(1);
  block::append_copy(b, &v);
  cell code = *b;
  stack::top--;
  stack::push(&code);  // keep the code block alive while it runs
  cursor c(&code);
  flow f = eval_expression(c, false);
  if (f != flow::normal) return f;
  cell result = *stack::last_value();
  stack::top -= 2;
  stack::push(&result);
  return flow::normal;
}

void init() {
  evaluator::installed = {eval_block, call_with_arguments, call_function, trace::error_raised};
  current_code.header = type::unset;
  words::global_word(words::sym.body_, &body_name);
  words::global_word(words::sym.anon, &anon_name);
  words::global_word(words::sym.set_path, &set_path_name);
  fast_paths::init();
  control_inline::init();
  collector::add_mark_callback(mark_roots);
}

}  // namespace kaz::interp

// Leaves of the code: a value that evaluates to itself, or a word holding a value that is
// pushed as it stands. A leaf runs no code and cannot fail: eval_operand pushes it, and calls
// a function a word holds, without an activation of eval_expression.
#pragma once

#include <array>
#include <cstdint>

#include "core/stack.h"
#include "eval/control_inline.h"
#include "eval/interpreter.h"
#include "eval/trace.h"
#include "eval/word_values.h"
#include "runtime/cell.h"
#include "runtime/native_stack.h"

namespace kaz::interp::leaf {

namespace detail {

// Types the interpreter evaluates in a way of their own (eval_expression's cases); every other
// type is pushed as it stands.
constexpr bool evaluates(uint32_t t) {
  switch (t) {
    case type::paren:
    case type::word:
    case type::set_word:
    case type::lit_word:
    case type::lit_path:
    case type::get_word:
    case type::issue:
    case type::native:
    case type::action:
    case type::function:
    case type::routine:
    case type::op:
    case type::path:
    case type::get_path:
    case type::set_path:
      return true;
    default:
      return false;
  }
}

// What a word's value must not be to be pushed as it stands: a function (called), an op (an
// error) or unset! (no value).
constexpr bool called_or_refused(uint32_t t) {
  return calls_value(t) || t == type::op || t == type::unset;
}

struct tables {
  std::array<bool, 256> self_evaluating{};
  std::array<bool, 256> plain{};
  constexpr tables() {
    for (uint32_t t = 0; t < 256; ++t) {
      self_evaluating[t] = !evaluates(t);
      plain[t] = !called_or_refused(t);
    }
  }
};
inline constexpr tables table;

}  // namespace detail

inline bool self_evaluating(uint32_t t) { return detail::table.self_evaluating[t]; }
inline bool plain_value(uint32_t t) { return detail::table.plain[t]; }

}  // namespace kaz::interp::leaf

namespace kaz::interp {

// The op! value of the word at the cursor, where an operator follows; null for anything
// else, which ends the expression without a call.
[[gnu::always_inline]] inline const cell* op_at(const cursor& c) {
  if (c.at_tail() || type_of(c.value()) != type::word) return nullptr;
  const cell* val = bound_value(c.value());
  return val && type_of(val) == type::op ? val : nullptr;
}

// A function a word holds, called past the word (not while tracing): the conditionals run
// inline as eval_call would take them, without its set-up; anything else through eval_call.
[[gnu::always_inline]] inline flow call_word(cursor& c, const cell* word_in, const cell* fn_in) {
  if (type_of(fn_in) == type::native) {
    if (int kind = control_inline::kind_of(fn_in)) {
      sysrt::check_native_stack();
      cell fn = *fn_in;
      cell name = *word_in;
      c.pos++;
      return control_inline::run(c, &fn, &name, kind);
    }
  }
  return call_through_word(c, word_in, fn_in);
}

// eval_expression with its leaves and its calls through a word taken here: what it gives,
// with one activation fewer. Anything else, and everything while tracing, goes to it.
[[gnu::always_inline]] inline flow eval_operand(cursor& c, bool no_infix) {
  if (!trace::tracing) [[likely]] {
    const cell* v = c.value();
    uint32_t t = type_of(v);
    if (t == type::word) {
      const cell* val = bound_value(v);
      if (!val) return eval_expression(c, no_infix);
      uint32_t vt = type_of(val);
      if (leaf::plain_value(vt)) {
        stack::push(val);
        c.pos++;
      } else if (calls_value(vt)) {
        flow f = call_word(c, v, val);
        if (f != flow::normal) return f;
      } else {
        return eval_expression(c, no_infix);
      }
    } else if (leaf::self_evaluating(t)) {
      stack::push(v);
      c.pos++;
    } else {
      return eval_expression(c, no_infix);
    }
    // Only a word can be an operator.
    if (no_infix) return flow::normal;
    const cell* op = op_at(c);
    return op ? eval_infix(c, op) : flow::normal;
  }
  return eval_expression(c, no_infix);
}

}  // namespace kaz::interp

#include "eval/control_inline.h"

#include <cstring>

#include "core/context.h"
#include "core/function.h"
#include "core/series_cell.h"
#include "core/truth.h"
#include "core/typeset.h"
#include "core/word.h"
#include "eval/call_end.h"
#include "eval/leaf_values.h"
#include "eval/trace.h"
#include "eval/word_values.h"
#include "memory/collector.h"
#include "runtime/fire.h"

namespace kaz::interp::control_inline {

namespace detail {
known_native known[4];
}  // namespace detail

namespace {

using detail::known;
using detail::known_native;
using detail::max_arity;

enum : int { none = 0, if_, unless, either };

// The natives' table indexes (kind_of in the header knows the highest) and arities.
constexpr uint32_t if_index = 1, unless_index = 2, either_index = 3;
uint32_t arity_of(int kind) { return kind == either ? 3 : 2; }

void forget() { std::memset(static_cast<void*>(known), 0, sizeof known); }

void learn(cell* fn, int kind, known_native& k) {
  cell desc_block = *function::descriptors(fn);
  const cell* d = memory::buffer_of(series::node_of(&desc_block))->cells();
  const cell* end =
      memory::buffer_of(series::node_of(&desc_block))->cells_tail() - 1;  // the count cell
  known_native n{};
  n.extra = function::extra_of(fn);
  uint32_t count = 0;
  for (; d < end && type_of(d) == type::typeset; ++d) {
    if (((d->header >> arg_kind::shift) & 3) != arg_kind::normal || count == max_arity) break;
    n.typesets[count++] = *d;
  }
  n.usable = count == arity_of(kind) && d == end && end->data2 == 0;
  k = n;
}

// Whether the value at the cursor is a literal block that no operator follows: its evaluation
// is then the block itself.
bool literal_block_at(const cursor& c) {
  const cell* v = c.value();
  if (type_of(v) != type::block) return false;
  if (c.pos + 1 >= c.tail) return true;
  const cell* next = v + 1;
  if (type_of(next) != type::word) return true;
  const cell* value = bound_value(next);  // as the interpreter's look-ahead reads it
  return !value || type_of(value) != type::op;
}

}  // namespace

int known_kind(const cell* fn) {
  int kind;
  switch (function::table_index_of(fn)) {
    case if_index: kind = if_; break;
    case unless_index: kind = unless; break;
    case either_index: kind = either; break;
    default: return none;
  }
  known_native& k = known[kind];
  if (k.extra != function::extra_of(fn)) {
    cell f = *fn;
    learn(&f, kind, k);
  }
  return k.usable ? kind : none;
}

flow run(cursor& c, const cell* fn_in, const cell* name_in, int kind) {
  cell fn = *fn_in;
  cell name = *name_in;
  cell typesets[max_arity];
  std::memcpy(static_cast<void*>(typesets), known[kind].typesets, sizeof typesets);
  uint32_t arity = arity_of(kind);
  stack::open_interpreted_native_frame(&name);
  for (uint32_t i = 0; i < arity; ++i) {
    if (c.at_tail()) [[unlikely]] {
      cell aw;
      function::spec_word_of(&fn, i, &aw);
      fire(err::script_no_arg, &name, &aw);
    }
    if (i > 0 && !trace::tracing && literal_block_at(c)) {
      stack::push(c.value());
      c.pos++;
    } else {
      flow f = eval_operand(c, false);
      if (f != flow::normal) [[unlikely]] {
        stack::close_frame_dropping();
        return f;
      }
    }
    cell* got = stack::last_value();
    if (!typeset::has(&typesets[i], type_of(got))) [[unlikely]] {
      cell aw;
      function::spec_word_of(&fn, i, &aw);
      expect_arg(&name, got, &aw);
    }
  }
  // Tracing may have begun inside an argument: the call's events then fire as they would.
  if (trace::tracing) [[unlikely]] {
    cell code = c.code();
    trace::fire(trace::event::call, &code, c.pos, &name, &fn);
  }
  flow f = catching_exits_flow([&] {
    cell* args = stack::arguments;
    bool run_first;
    switch (kind) {
      case if_: run_first = !is_false(args); break;
      case unless: run_first = !is_true(args); break;
      default: run_first = argument_true(args); break;
    }
    if (kind != either && !run_first) {
      stack::arguments->header = type::none;
      stack::top = stack::arguments + 1;
      return flow::normal;
    }
    cell body = run_first ? args[1] : args[2];
    return eval_body(&body);
  });
  return end_call(c, f, &name);
}

void init() {
  forget();
  collector::add_mark_callback(forget);
}

}  // namespace kaz::interp::control_inline

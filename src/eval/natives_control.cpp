// Control natives: conditionals, loops, switch and case.
#include <cmath>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/context.h"
#include "core/registry.h"
#include "core/scalar_cell.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "core/truth.h"
#include "core/words.h"
#include "datatypes/map.h"
#include "datatypes/removal_batch.h"
#include "datatypes/series_common.h"
#include "eval/interpreter.h"
#include "eval/leaf_values.h"
#include "eval/natives.h"
#include "runtime/fire.h"

namespace kaz::natives {

namespace {

inline cell* arg(uint32_t i) { return stack::arguments + i; }

void set_none() {
  stack::arguments->header = type::none;
  stack::top = stack::arguments + 1;
}
void set_unset() {
  stack::arguments->header = type::unset;
  stack::top = stack::arguments + 1;
}

// A count argument: integer!, or float! truncated toward zero; out of range raises overflow.
int32_t count_of(cell* c) {
  if (type_of(c) == type::integer) return integer_type::value_of(c);
  double d = get_double(c);
  if (std::isnan(d) || d >= 2147483648.0 || d <= -2147483649.0) fire(err::math_overflow);
  int32_t n = static_cast<int32_t>(d);
  c->header = type::integer;
  c->data2 = static_cast<uint32_t>(n);
  return n;
}

// Evaluates a block into the result slot of the current frame.
flow eval_into_result(const cell* block) { return interp::eval_body(block); }

// What an iteration's status does to the loop in the open loop frame: answers true when the
// loop must end, with `out` the flow to pass on (normal for break).
bool loop_ends(flow f, flow& out) {
  out = flow::normal;
  switch (f) {
    case flow::normal:
      return false;
    case flow::continue_:  // the iteration's value is unset!
      stack::arguments->header = type::unset;
      stack::top = stack::arguments + 1;
      return false;
    case flow::break_:
      *stack::arguments = stack::flow_value;
      stack::top = stack::arguments + 1;
      return true;
    default:
      out = f;
      return true;
  }
}

// Runs a loop body once in the open loop frame (see loop_ends).
bool run_body(const cell* body, flow& out) {
  stack::top = stack::arguments;
  return loop_ends(eval_into_result(body), out);
}

// A step of a loop that sets its words: an object's change handler may run and raise an exit,
// which the loop takes as it takes its body's (see loop_ends); answers true when that ends the
// loop, false to go on (`skip` then tells whether the body must be skipped).
template <class Step>
bool step_ends(Step&& step, flow& out, bool& skip) {
  flow f = interp::catching_exits(step);
  skip = f != flow::normal;
  return skip && loop_ends(f, out);
}

// Ends a loop: the loop frame's result becomes the native's result, or the flow goes on.
flow end_loop(flow f) {
  if (f != flow::normal) {
    stack::close_frame_dropping();
    return f;
  }
  stack::close_frame_to_result();
  stack::top = stack::arguments + 1;
  return flow::normal;
}

// The number of positions of a series from its index to its tail.
int32_t series_remaining(const cell* s) {
  uint32_t t = type_of(s);
  if (is_any_block(t)) return block::rs_length(s);
  if (t == type::map) return -1;
  series_buffer* b = memory::buffer_of(kaz::series::node_of(s));
  uint32_t unit = b->unit() ? b->unit() : 1;
  int64_t len = int64_t(b->used_bytes() / unit) - int64_t(kaz::series::index_of(s));
  return len < 0 ? 0 : static_cast<int32_t>(len);
}

// The value at offset k from a series' index: a block's cell, else the pick action's answer.
void series_value_at(const cell* s, uint32_t k, cell* out) {
  uint32_t t = type_of(s);
  if (is_any_block(t)) {
    if (static_cast<int32_t>(k) < block::rs_length(s)) {
      *out = *(block::rs_head(const_cast<cell*>(s)) + k);
    } else {
      out->header = type::none;
    }
    return;
  }
  const action_row& row = registry::row(t);
  if (!row.pick) actions::unsupported(s, slot::pick);
  cell copy = *s;
  const cell* r = row.pick(&copy, static_cast<int32_t>(k + 1), nullptr);
  *out = *r;
}

// Sets a block of words (or one word) from consecutive values of a series.
void set_words_from(cell* words_arg, const cell* series, uint32_t n) {
  if (type_of(words_arg) == type::block) {
    for (uint32_t i = 0; i < n; ++i) {
      const cell* w = block::rs_head(words_arg) + i;
      uint32_t wt = type_of(w);
      if (!(wt == type::word || wt == type::set_word || wt == type::get_word ||
            wt == type::lit_word))
        fire(err::script_invalid_arg, w);
      cell v;
      series_value_at(series, i, &v);
      cell word = *(block::rs_head(words_arg) + i);
      context::set_value(&word, &v);
    }
  } else {
    cell v;
    series_value_at(series, 0, &v);
    context::set_value(words_arg, &v);
  }
}

}  // namespace

const cell* body_name() {
  static cell name;
  if (name.header == 0) words::global_word(words::sym.body_, &name);
  return &name;
}

flow if_(const int32_t*) {
  if (is_false(arg(0))) {
    set_none();
    return flow::normal;
  }
  cell body = *arg(1);
  return eval_into_result(&body);
}

flow unless(const int32_t*) {
  if (is_true(arg(0))) {
    set_none();
    return flow::normal;
  }
  cell body = *arg(1);
  return eval_into_result(&body);
}

flow either(const int32_t*) {
  cell body = argument_true(arg(0)) ? *arg(1) : *arg(2);
  return eval_into_result(&body);
}

flow any(const int32_t*) {
  cell code = *arg(0);
  stack::push(&code);  // keeps the code alive
  interp::cursor c(&code);
  while (!c.at_tail()) {
    uint32_t mark = stack::index_of(stack::top);
    flow f = interp::eval_operand(c, false);
    if (f != flow::normal) return f;
    c.refresh();
    cell* v = stack::last_value();
    if (is_true(v)) {
      stack::set_result_only(v);
      return flow::normal;
    }
    stack::top = stack::at_index(mark);
  }
  set_none();
  return flow::normal;
}

flow all(const int32_t*) {
  cell code = *arg(0);
  stack::push(&code);
  interp::cursor c(&code);
  if (c.at_tail()) {
    set_none();
    return flow::normal;
  }
  cell last{type::unset, 0, 0, 0};
  while (!c.at_tail()) {
    uint32_t mark = stack::index_of(stack::top);
    flow f = interp::eval_operand(c, false);
    if (f != flow::normal) return f;
    c.refresh();
    cell* v = stack::last_value();
    if (is_false(v)) {
      set_none();
      return flow::normal;
    }
    last = *v;
    stack::top = stack::at_index(mark);
  }
  stack::set_result_only(&last);
  return flow::normal;
}

flow while_(const int32_t*) {
  cell cond = *arg(0);
  cell body = *arg(1);
  stack::open_loop_frame(body_name());
  for (;;) {
    stack::top = stack::arguments;
    flow f = eval_into_result(&cond);
    if (f == flow::break_ || f == flow::continue_) fire(err::throw_while_cond);
    if (f != flow::normal) return end_loop(f);
    if (!argument_true(stack::arguments)) break;
    stack::top = stack::arguments;
    f = eval_into_result(&body);
    if (f == flow::break_) break;
    if (f == flow::continue_ || f == flow::normal) continue;
    return end_loop(f);
  }
  stack::close_frame_dropping();
  set_unset();
  return flow::normal;
}

flow until(const int32_t*) {
  cell body = *arg(0);
  stack::open_loop_frame(body_name());
  for (;;) {
    stack::top = stack::arguments;
    flow f = eval_into_result(&body);
    if (f == flow::break_) {
      *stack::arguments = stack::flow_value;
      stack::top = stack::arguments + 1;
      break;
    }
    if (f == flow::continue_) {
      stack::arguments->header = type::unset;
      continue;
    }
    if (f != flow::normal) return end_loop(f);
    if (argument_true(stack::arguments)) break;
  }
  return end_loop(flow::normal);
}

flow loop(const int32_t*) {
  int32_t n = count_of(arg(0));
  cell body = *arg(1);
  if (n < 1) {
    set_none();
    return flow::normal;
  }
  stack::open_loop_frame(body_name());
  stack::arguments->header = type::unset;
  flow out = flow::normal;
  for (int32_t i = 0; i < n; ++i)
    if (run_body(&body, out)) break;
  return end_loop(out);
}

flow repeat(const int32_t*) {
  cell word = *arg(0);
  int32_t n = count_of(arg(1));
  cell body = *arg(2);
  if (n <= 0) {
    set_none();
    return flow::normal;
  }
  stack::open_loop_frame(body_name());
  stack::arguments->header = type::unset;
  flow out = flow::normal;
  for (int32_t i = 1; i <= n; ++i) {
    cell counter{type::integer, 0, static_cast<uint32_t>(i), 0};
    bool skip;
    if (step_ends([&] { context::set_value(&word, &counter); }, out, skip)) break;
    if (!skip && run_body(&body, out)) break;
  }
  return end_loop(out);
}

flow forever(const int32_t*) {
  cell body = *arg(0);
  stack::open_loop_frame(body_name());
  flow out = flow::normal;
  while (!run_body(&body, out)) {
  }
  return end_loop(out);
}

namespace {

// How many values one step of foreach or remove-each takes: one for a word, one for each word
// of a block (an empty block is refused).
uint32_t words_per_step(const cell* words_arg) {
  if (type_of(words_arg) != type::block) return 1;
  int32_t len = block::rs_length(words_arg);
  if (len <= 0) {
    cell w = *words_arg;
    fire(err::script_invalid_arg, &w);
  }
  return static_cast<uint32_t>(len);
}

}  // namespace

flow foreach(const int32_t*) {
  cell words_arg = *arg(0);
  cell series = *arg(1);
  cell body = *arg(2);
  uint32_t n = words_per_step(&words_arg);
  if (type_of(&series) == type::map) {
    if (type_of(&words_arg) != type::block || n != 2) fire(err::script_invalid_arg, &words_arg);
  }
  // Working cells below the loop frame: the series position and the words.
  cell* pos = stack::push(&series);
  uint32_t pos_index = stack::index_of(pos);
  stack::push(&words_arg);
  stack::open_loop_frame(body_name());
  stack::arguments->header = type::unset;
  stack::top = stack::arguments + 1;
  flow out = flow::normal;
  bool is_map = type_of(&series) == type::map;
  for (;;) {
    cell at = *stack::at_index(pos_index);
    bool skip;
    if (is_map) {
      // Pairs removed from the map are skipped; the position moves past what was read.
      bool more = true;
      if (step_ends([&] { more = map::foreach_next(&words_arg, &at, n); }, out, skip)) break;
      if (!more) break;
      stack::at_index(pos_index)->data1 = at.data1;
      if (!skip && run_body(&body, out)) break;
      continue;
    }
    if (series_remaining(&at) <= 0) break;
    stack::at_index(pos_index)->data1 += n;
    if (step_ends([&] { set_words_from(&words_arg, &at, n); }, out, skip)) break;
    if (!skip && run_body(&body, out)) break;
  }
  return end_loop(out);
}

flow forall(const int32_t*) {
  cell word = *arg(0);
  cell body = *arg(1);
  cell start = *context::get_value(&word);
  uint32_t t = type_of(&start);
  if (t == type::unset) fire(err::script_no_value, &word);
  if (!(is_any_block(t) || is_any_string(t) || t == type::binary || t == type::vector ||
        t == type::image)) {
    cell name;
    words::global_word(words::sym.forall, &name);
    cell dt{type::datatype_, t, 0, 0};
    cell w = *arg(0);
    fire(err::script_expect_arg, &name, &dt, &w);
  }
  stack::open_loop_frame(body_name());
  stack::arguments->header = type::unset;
  flow out = flow::normal;
  bool broke = false;
  for (;;) {
    cell cur = *context::get_value(&word);
    if (series_remaining(&cur) <= 0) break;
    if (run_body(&body, out)) {
      broke = true;
      break;
    }
    cell now = *context::get_value(&word);
    if (kaz::series::node_of(&now) != kaz::series::node_of(&start) ||
        type_of(&now) != type_of(&start))
      fire(err::script_bad_loop_series, &now);
    now.data1 += 1;
    bool skip;
    if (step_ends([&] { context::set_value(&word, &now); }, out, skip)) {
      broke = true;
      break;
    }
  }
  if (!broke) {
    bool skip;
    step_ends([&] { context::set_value(&word, &start); }, out, skip);
  }
  return end_loop(out);
}

flow remove_each(const int32_t*) {
  cell words_arg = *arg(0);
  cell series = *arg(1);
  cell body = *arg(2);
  uint32_t n = words_per_step(&words_arg);
  cell* pos = stack::push(&series);
  uint32_t pos_index = stack::index_of(pos);
  stack::open_loop_frame(body_name());
  stack::arguments->header = type::unset;
  flow out = flow::normal;
  // Removals are made together at the end, in one pass, unless the series is owned (its owner
  // hears of each one as it happens). A body that changes the series' length has the removals
  // decided so far made first.
  series::removal_batch batch;
  bool batched = series::removal_batch::batchable(&series);
  try {
    for (;;) {
      cell* p = stack::at_index(pos_index);
      if (series_remaining(p) <= 0) break;
      cell at = *p;
      uint32_t length_before = series::absolute_length(&series);
      // Setting the words and removing may run an object's handlers, whose exits count as the
      // body's.
      flow f = interp::catching_exits([&] { set_words_from(&words_arg, &at, n); });
      if (f == flow::normal) {
        stack::top = stack::arguments;
        f = eval_into_result(&body);
      }
      if (f == flow::break_) break;
      if (f != flow::normal && f != flow::continue_) {
        out = f;
        break;
      }
      if (batched && series::absolute_length(&series) != length_before)
        stack::at_index(pos_index)->data1 -= batch.flush(&series, kaz::series::index_of(&at));
      cell* cur = stack::at_index(pos_index);
      int32_t left = series_remaining(cur);
      uint32_t take = left < static_cast<int32_t>(n) ? static_cast<uint32_t>(left) : n;
      if (f == flow::normal && is_true(stack::arguments)) {
        if (batched) {
          batch.add(kaz::series::index_of(cur), take);
          cur->data1 += take;
          continue;
        }
        cell target = *cur;
        const action_row& row = registry::row(type_of(&target));
        if (!row.remove) actions::unsupported(&target, slot::remove);
        cell part{type::integer, 0, take, 0};
        f = interp::catching_exits(
            [&] { row.remove(&target, take > 1 ? &part : nullptr, nullptr); });
        if (f == flow::break_) break;
        if (f != flow::normal && f != flow::continue_) {
          out = f;
          break;
        }
      } else {
        stack::at_index(pos_index)->data1 += take;
      }
    }
  } catch (...) {
    batch.flush(&series);  // what was decided before the error stays done
    throw;
  }
  batch.flush(&series);
  if (out != flow::normal) {
    stack::close_frame_dropping();
    return out;
  }
  stack::close_frame_dropping();
  stack::set_result_only(&series);
  return flow::normal;
}

flow switch_(const int32_t* refs) {
  cell value = *arg(0);
  cell cases = *arg(1);
  const cell* found = nullptr;
  if (type_of(&value) != type::block) {
    int32_t n = block::rs_length(&cases);
    for (int32_t i = 0; i < n; ++i) {
      const cell* c = block::rs_head(&cases) + i;
      if (type_of(c) != type_of(&value)) continue;
      if (!actions::compare(c, &value, actions::op::equal)) continue;
      for (int32_t k = i + 1; k < n; ++k) {
        const cell* b = block::rs_head(&cases) + k;
        if (type_of(b) == type::block) {
          found = b;
          break;
        }
      }
      if (!found) {
        set_none();
        return flow::normal;
      }
      break;
    }
  }
  if (found) {
    cell b = *found;
    return eval_into_result(&b);
  }
  if (refs[0] >= 0) {
    cell b = *arg(static_cast<uint32_t>(refs[0]));
    return eval_into_result(&b);
  }
  set_none();
  return flow::normal;
}

flow case_(const int32_t* refs) {
  bool all = refs[0] >= 0;
  cell code = *arg(0);
  if (block::rs_length(&code) <= 0) {
    set_none();
    return flow::normal;
  }
  stack::push(&code);
  interp::cursor c(&code);
  cell result{type::none, 0, 0, 0};
  while (!c.at_tail()) {
    uint32_t mark = stack::index_of(stack::top);
    flow f = interp::eval_operand(c, false);
    if (f != flow::normal) return f;
    c.refresh();
    if (c.at_tail()) {
      cell w;
      words::global_word(words::sym.case_, &w);
      fire(err::script_need_value, &w);
    }
    bool truthy = argument_true(stack::last_value());
    stack::top = stack::at_index(mark);
    if (all) result.header = type::none;
    if (truthy) {
      const cell* next = c.value();
      if (type_of(next) == type::block) {
        cell b = *next;
        c.pos++;
        flow g = interp::eval_block(&b, false);
        if (g != flow::normal) return g;
      } else {
        flow g = interp::eval_expression(c, false);
        if (g != flow::normal) return g;
      }
      c.refresh();
      result = *stack::last_value();
      stack::top = stack::at_index(mark);
      if (!all) break;
    } else {
      c.pos++;  // the body is skipped, not evaluated
    }
  }
  stack::set_result_only(&result);
  return flow::normal;
}

}  // namespace kaz::natives

// The parse engine: a loop over steps that walks nested rule blocks with the rule stack, never
// recursing in C++, so a deep grammar costs stack cells and ends in parse-stack at worst.
#include "core/block_storage.h"
#include "core/context.h"
#include "eval/parse.h"
#include "eval/parse_internal.h"
#include "runtime/fire.h"

namespace kaz::parse {

namespace {

// Ends the innermost block frame; the outermost one finishes the call.
step block_end(engine& e, bool ok) {
  if (!pop_frame(e)) return step::stop;
  if (e.sp == e.rule_base) {
    e.matched = ok;
    return step::finish;
  }
  return ok ? step::matched : step::failed;
}

// The current alternative failed: the input goes back to where the block started, and the
// rules go on after the next `|`, or the block fails.
step alternative(engine& e) {
  const cell* f = rule_cells() + e.bf;
  e.input.data1 = f[1].data2;
  series_buffer* s = block::buffer_of(f + 2);
  uint32_t length = s->used_bytes() / uint32_t(sizeof(cell));
  for (uint32_t i = uint32_t(rule_pos(e) + 1); i < length; ++i) {
    if (!is_word(s->cells() + i, kw::bar)) continue;
    set_rule_pos(e, int32_t(i));
    return step::next;
  }
  return block_end(e, false);
}

// Undoes what a command frame holds outside the rule stack when it ends without being applied
// (break and reject leave through it).
void abandon(engine& e, const cell* frame) {
  cell head = frame[0];
  uint32_t start = frame[1].data2;
  switch (int32_t(frame[2].data2)) {
    case code::into:
      pop_input(e, &e.input);
      e.fam = family_of(type_of(&e.input));
      e.depth--;
      e.input.data1 = start;
      break;
    case code::collect:
      close_collect(e, &head, false);
      break;
    case code::case_:
      e.op = int32_t(head.data1);
      break;
    default:
      break;
  }
}

// break and reject: every frame above the innermost repetition is left, then the repetition
// ends with success (break) or fails (reject). Without a repetition the innermost block ends.
step unwind(engine& e, bool success) {
  uint32_t target = e.rule_base;
  for (uint32_t f = e.sp; f > e.rule_base;) {
    f -= frame_cells;
    const cell* c = rule_cells() + f;
    if (!is_command_frame(c)) continue;
    int32_t command = int32_t(c[2].data2);
    if (command == code::repeat || command == code::while_) {
      target = f;
      break;
    }
  }
  if (target == e.rule_base) {  // no repetition: the innermost block ends
    while (is_command_frame(rule_cells() + e.sp - frame_cells)) {
      abandon(e, rule_cells() + e.sp - frame_cells);
      if (!pop_frame(e)) return step::stop;
    }
    return block_end(e, success);
  }
  while (e.sp > target) {
    const cell* c = rule_cells() + e.sp - frame_cells;
    if (is_command_frame(c)) abandon(e, c);
    if (!pop_frame(e)) return step::stop;
  }
  return success ? step::matched : step::failed;
}

/*
 * A rule has matched or failed: the command frame on top applies it. A repetition or a to/thru
 * search may run its argument again (step::dispatch with the rule position back on it);
 * otherwise the frame is popped and its own result goes to the frame below, until a block
 * frame takes it.
 */
step after(engine& e, bool ok) {
  for (;;) {
    const cell* c = rule_cells() + e.sp - frame_cells;
    if (!is_command_frame(c)) return ok ? step::next : step::alternative;
    cell head = c[0];
    int32_t arg_pos = int32_t(c[1].data1);
    uint32_t start = c[1].data2;
    uint32_t start_length = c[1].data3;
    uint32_t activity = c[2].data1;
    int32_t command = int32_t(c[2].data2);
    int32_t option = int32_t(c[2].data3);
    switch (command) {
      case code::repeat:
      case code::while_: {
        int32_t min = int32_t(head.data1), max = int32_t(head.data2);
        int32_t count = int32_t(head.data3);
        if (!ok) {
          e.input.data1 = start;  // the end of the last complete iteration
          ok = count >= min;
          break;
        }
        count++;
        uint32_t length = view_of(e).tail;
        // An iteration that neither moved nor changed the input would repeat for ever; `while`
        // goes on as long as the iteration ran code that may change what the next one sees.
        bool progress = series::index_of(&e.input) != start || length != start_length ||
                        (command == code::while_ && e.activity != activity);
        if (progress && (max < 0 || count < max)) {
          cell* frame = rule_cells_rw() + e.sp - frame_cells;
          frame[0].data3 = uint32_t(count);
          frame[1].data2 = series::index_of(&e.input);
          frame[1].data3 = length;
          frame[2].data1 = e.activity;
          set_rule_pos(e, arg_pos);
          if (!fire_event(e, ev::iterate)) return step::stop;
          return step::dispatch;
        }
        ok = count >= min || !progress;  // an empty match would repeat up to the minimum
        break;
      }
      case code::to:
      case code::thru: {
        uint32_t attempt = head.data1;
        if (ok) {
          if (command == code::to) e.input.data1 = attempt;
          break;
        }
        if (attempt >= view_of(e).end) {
          e.input.data1 = start;
          break;
        }
        rule_cells_rw()[e.sp - frame_cells].data1 = ++attempt;
        e.input.data1 = attempt;
        set_rule_pos(e, arg_pos);
        if (!fire_event(e, ev::iterate)) return step::stop;
        return step::dispatch;
      }
      case code::not_:
        e.input.data1 = start;
        ok = !ok;
        break;
      case code::ahead:
        if (ok) e.input.data1 = start;
        break;
      case code::copy:
      case code::set:
        if (ok) {
          cell value;
          if (command == code::copy)
            copy_range(e, start, series::index_of(&e.input), &value);
          else
            first_value(e, start, series::index_of(&e.input), &value);
          context::set_value(&head, &value);
        }
        break;
      case code::into: {
        bool whole = ok && series::index_of(&e.input) >= view_of(e).tail;
        pop_input(e, &e.input);
        e.fam = family_of(type_of(&e.input));
        e.depth--;
        e.input.data1 = whole ? start + 1 : start;
        ok = whole;
        break;
      }
      case code::remove:
        if (ok) {
          remove_range(e, start, series::index_of(&e.input));
          e.input.data1 = start;
        }
        break;
      case code::change:
      case code::change_only: {
        cell v;
        int32_t at = rule_pos(e) + 1;
        if (!rule_at(e, at, &v)) {
          cell word;
          word_named("change", &word);
          fire(err::script_parse_rule, &word);
        }
        set_rule_pos(e, at);
        if (!ok) break;
        cell value;
        flow f = command_value(e, &v, &value);
        if (f != flow::normal) return leave(e, f);
        e.input.data1 = change_range(e, start, series::index_of(&e.input), &value,
                                     command == code::change_only);
        break;
      }
      case code::collect:
        close_collect(e, &head, ok);
        break;
      case code::keep:
        if (ok) keep_range(e, start, series::index_of(&e.input), option != 0);
        break;
      case code::case_:
        e.op = int32_t(head.data1);
        break;
      default:
        break;
    }
    if (!pop_frame(e)) return step::stop;
  }
}

// The value at the rule position, dispatched by its type.
step dispatch(engine& e) {
  cell v;
  if (!rule_at(e, rule_pos(e), &v)) return step::failed;  // a paren cut the rules short
  if (!fire_event(e, ev::fetch)) return step::stop;
  return dispatch_value(e, v);
}

// The result of a finished call, pushed in the result slot: the top-level collect's block when
// one ran, else logic!.
flow finish(engine& e) {
  bool ok = e.matched && series::index_of(&e.input) >= view_of(e).end;
  e.matched = ok;
  fire_event(e, ev::end);
  if (e.stopped && e.exit != flow::normal) return e.exit;
  cell* result = stack::at_index(e.result_slot);
  stack::top = result + 1;
  if (type_of(result) != type::block) *result = cell{type::logic, ok ? 1u : 0u, 0, 0};
  return flow::normal;
}

flow run(engine& e) {
  step s = push_block_frame(e, &e.rules) ? step::next : step::stop;
  for (;;) {
    switch (s) {
      case step::next: {
        int32_t pos = rule_pos(e) + 1;
        set_rule_pos(e, pos);
        s = uint32_t(pos) < rule_length(e) ? dispatch(e) : block_end(e, true);
        break;
      }
      case step::dispatch:
        s = dispatch(e);
        break;
      case step::matched:
        s = after(e, true);
        break;
      case step::failed:
        s = after(e, false);
        break;
      case step::neutral:
        s = is_command_frame(rule_cells() + e.sp - frame_cells) ? after(e, true) : step::next;
        break;
      case step::alternative:
        s = alternative(e);
        break;
      case step::bar:
        s = block_end(e, true);
        break;
      case step::break_:
      case step::reject:
        s = unwind(e, s == step::break_);
        break;
      case step::finish:
        return finish(e);
      case step::stop: {
        if (e.exit != flow::normal) return e.exit;
        cell* result = stack::at_index(e.result_slot);
        *result = cell{type::logic, e.matched ? 1u : 0u, 0, 0};
        stack::top = result + 1;
        return flow::normal;
      }
    }
    if (e.stopped && s != step::stop) s = step::stop;
  }
}

}  // namespace

flow process_rules(const cell* input, const cell* rules, int32_t op, int32_t limit,
                   const cell* callback) {
  engine e{};
  e.input = *input;
  e.fam = family_of(type_of(input));
  e.limit = limit;
  e.op = op;
  e.rules = *rules;
  e.callback = callback ? *callback : cell{type::none, 0, 0, 0};
  e.exit = flow::normal;
  e.result_slot = stack::index_of(stack::push_unset());
  open_stacks(e);
  flow f;
  try {
    push_input(e, input);
    f = run(e);
  } catch (...) {
    reset_stacks(e);
    throw;
  }
  reset_stacks(e);
  return f;
}

}  // namespace kaz::parse

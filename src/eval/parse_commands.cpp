// The rule values and keywords of the parse dialect: what each does when the engine meets it.
// Simple rules match at once; commands push a frame and let the engine run their argument,
// then apply themselves when it has matched (parse_engine.cpp).
#include "core/context.h"
#include "core/scalar_cell.h"
#include "core/truth.h"
#include "eval/parse_internal.h"
#include "runtime/fire.h"

namespace kaz::parse {

namespace {

const cell no_info{type::triple, 0, 0, 0};

// The value at an offset from the rule position, if the block has one.
bool peek(const engine& e, int32_t offset, cell* out) { return rule_at(e, rule_pos(e) + offset, out); }

// The argument of a keyword: the next value, the rule position moving onto it; parse-end
// naming the keyword when the block ends first.
cell argument(engine& e, const cell& word) {
  cell v;
  int32_t pos = rule_pos(e) + 1;
  if (!rule_at(e, pos, &v)) fire(err::script_parse_end, &word);
  set_rule_pos(e, pos);
  return v;
}

// A command frame whose argument starts at the rule position; the engine runs it next.
step start_command(engine& e, int32_t command, int32_t option, const cell& info) {
  if (!push_command_frame(e, command, option, &info, rule_pos(e))) return step::stop;
  return step::dispatch;
}

bool is_plain_word(const cell* v) {
  uint32_t t = type_of(v);
  return (t == type::word || t == type::get_word) && keyword_of(v) == kw::not_keyword;
}

// A word's value when it is a series on the input's buffer (the position forms).
bool input_position(const engine& e, const cell& v, cell* out) {
  if (!is_plain_word(&v)) return false;
  cell w = v;
  *out = *context::get_value(&w);
  return on_input(e, out);
}

// A simple rule (literal or datatype), matched by the engine without a frame.
bool simple(const cell& r) {
  uint32_t t = type_of(&r);
  return literal_like(t) || is_type_rule(t);
}

// Whether a value reads as a count: an integer!, or a plain word holding one (as count takes it).
bool is_count(const cell* v) {
  if (type_of(v) == type::integer) return true;
  if (type_of(v) != type::word || keyword_of(v) != kw::not_keyword) return false;
  cell w = *v;
  return type_of(context::get_value(&w)) == type::integer;
}

// The last value of the rule that starts at pos, for a count of 0 that skips it: keywords
// take their arguments with them.
int32_t rule_end(const engine& e, int32_t pos) {
  uint32_t owed = 1;
  cell v;
  for (; rule_at(e, pos, &v); ++pos) {
    owed--;
    cell next;
    bool has_next = rule_at(e, pos + 1, &next);
    if (is_count(&v)) {
      if (has_next && is_count(&next)) pos++;
      owed++;
    } else if (type_of(&v) == type::word) {
      switch (keyword_of(&v)) {
        case kw::any: case kw::some: case kw::opt: case kw::while_: case kw::to:
        case kw::thru: case kw::not_: case kw::ahead: case kw::into: case kw::remove:
          owed++;
          break;
        case kw::keep:
          if (has_next && is_word(&next, kw::pick)) pos++;
          owed++;
          break;
        case kw::quote: case kw::if_:
          pos++;
          break;
        case kw::copy: case kw::set: case kw::case_:
          pos++;
          owed++;
          break;
        case kw::collect:
          if (has_next && (is_word(&next, kw::set) || is_word(&next, kw::into) ||
                           is_word(&next, kw::after)))
            pos += 2;
          owed++;
          break;
        case kw::insert: {
          if (has_next && is_word(&next, kw::only)) {
            pos++;
            has_next = rule_at(e, pos + 1, &next);
          }
          cell mark;
          if (has_next && input_position(e, next, &mark)) pos++;  // insert position value
          owed++;
          break;
        }
        case kw::change:
          if (has_next && is_word(&next, kw::only)) pos++;
          owed += 2;
          break;
        default:
          break;
      }
    }
    if (owed == 0) return pos;
  }
  return pos - 1;
}

// ---------------------------------------------------------------------------------------------
// Repetitions: any, some, opt, while and counts.

step repeat_rule(engine& e, const cell& arg, int32_t min, int32_t max, int32_t command) {
  cell r = arg;
  if (type_of(&arg) == type::word) {
    kw k = keyword_of(&arg);
    if (k == kw::skip) {
      view in = view_of(e);
      uint32_t pos = series::index_of(&e.input);
      uint32_t left = pos < in.end ? in.end - pos : 0;
      uint32_t n = max >= 0 && uint32_t(max) < left ? uint32_t(max) : left;
      bool ok = n >= uint32_t(min);
      if (ok) e.input.data1 = pos + n;
      return terminal(e, ok);
    }
    if (k == kw::not_keyword) r = word_rule(arg);
  }
  if (type_of(&r) != type::word && simple(r)) {
    uint32_t start = series::index_of(&e.input), pos = start;
    int32_t n = match_repeat(e, &r, max, pos);
    bool ok = n >= min || (n > 0 && pos == start);  // an empty match repeats up to the minimum
    if (ok) e.input.data1 = pos;
    return terminal(e, ok);
  }
  cell counts{type::triple, uint32_t(min), uint32_t(max), 0};
  return start_command(e, command, 0, counts);
}

step repetition(engine& e, const cell& word, int32_t min, int32_t max, int32_t command) {
  cell arg = argument(e, word);
  return repeat_rule(e, arg, min, max, command);
}

// `n rule` and `n m rule`.
step count(engine& e, const cell& n_cell) {
  int32_t n = integer_type::value_of(&n_cell);
  if (n < 0) fire(err::script_out_of_range, &n_cell);
  cell next;
  if (!peek(e, 1, &next)) fire(err::script_parse_rule, &n_cell);
  int32_t max = n;
  cell m = next;
  if (type_of(&m) == type::word && keyword_of(&m) == kw::not_keyword) {
    cell value = *context::get_value(&m);
    if (type_of(&value) == type::integer) m = value;
  }
  if (type_of(&m) == type::integer) {
    max = integer_type::value_of(&m);
    if (max < 0) fire(err::script_out_of_range, &m);
    if (max < n) fire(err::script_parse_rule, &n_cell);
    set_rule_pos(e, rule_pos(e) + 1);
    if (!peek(e, 1, &next)) fire(err::script_parse_rule, &n_cell);
  }
  set_rule_pos(e, rule_pos(e) + 1);
  if (max == 0) {  // the rule is skipped without matching
    set_rule_pos(e, rule_end(e, rule_pos(e)));
    return step::matched;
  }
  return repeat_rule(e, next, n, max, code::repeat);
}

// ---------------------------------------------------------------------------------------------
// Searching: to and thru.

step to_thru(engine& e, const cell& word, bool thru) {
  cell arg = argument(e, word);
  cell r = arg;
  if (type_of(&arg) == type::word) {
    kw k = keyword_of(&arg);
    if (k == kw::end) {
      e.input.data1 = view_of(e).end;
      return terminal(e, true);
    }
    if (k == kw::not_keyword) r = word_rule(arg);
  }
  if (type_of(&r) != type::word && simple(r)) {
    uint32_t pos = series::index_of(&e.input);
    bool ok = find_value(e, &r, thru, pos);
    if (ok) e.input.data1 = pos;
    return terminal(e, ok);
  }
  // Any other rule is tried at each position in turn.
  cell attempt{type::triple, series::index_of(&e.input), 0, 0};
  return start_command(e, thru ? code::thru : code::to, 0, attempt);
}

// ---------------------------------------------------------------------------------------------
// Commands with a word and a rule, and into.

step word_command(engine& e, const cell& word, int32_t command) {
  cell target = argument(e, word);
  if (type_of(&target) != type::word) fire(err::script_parse_end, &word);
  argument(e, word);
  return start_command(e, command, 0, target);
}

step case_command(engine& e, const cell& word) {
  cell w = argument(e, word);
  if (type_of(&w) != type::word) fire(err::script_parse_end, &word);
  cell value = *context::get_value(&w);
  argument(e, word);
  cell previous{type::triple, uint32_t(e.op), 0, 0};
  step s = start_command(e, code::case_, 0, previous);
  e.op = is_false(&value) ? 0 : 2;
  return s;
}

step into(engine& e, const cell& word) {
  if (e.fam != family::block) {
    cell input = e.input;
    fire(err::script_parse_block, &input);
  }
  cell arg = argument(e, word);
  cell rules = arg;
  if (type_of(&arg) == type::word) rules = *context::get_value(&arg);
  if (type_of(&rules) != type::block) fire(err::script_parse_end, &word);
  view in = view_of(e);
  uint32_t pos = series::index_of(&e.input);
  if (pos >= in.end) return terminal(e, false);
  cell inner = reinterpret_cast<const cell*>(in.base)[pos];
  uint32_t t = type_of(&inner);
  if (!is_any_block(t) && !is_any_string(t) && t != type::binary) return terminal(e, false);
  if (!push_command_frame(e, code::into, 0, &no_info, rule_pos(e))) return step::stop;
  push_input(e, &e.input);
  e.input = inner;
  e.fam = family_of(t);
  e.depth++;
  return push_block_frame(e, &rules) ? step::next : step::stop;
}

// ---------------------------------------------------------------------------------------------
// Changing the input.

step remove(engine& e, const cell& word) {
  cell arg = argument(e, word);
  if (type_of(&arg) == type::path) fire(err::script_parse_rule, &arg);
  cell mark;
  if (input_position(e, arg, &mark)) {
    uint32_t from = series::index_of(&mark), to = series::index_of(&e.input);
    if (from > to) std::swap(from, to);
    remove_range(e, from, to);
    e.input.data1 = from;
    return terminal(e, true);
  }
  return start_command(e, code::remove, 0, no_info);
}

step insert(engine& e, const cell& word) {
  cell v = argument(e, word);
  bool only = is_word(&v, kw::only);
  if (only) v = argument(e, word);
  uint32_t at = series::index_of(&e.input);
  cell mark;
  if (input_position(e, v, &mark)) {
    cell next;
    if (!peek(e, 1, &next)) fire(err::script_parse_rule, &v);
    at = series::index_of(&mark);
    v = argument(e, word);
  }
  cell value;
  flow f = command_value(e, &v, &value);
  if (f != flow::normal) return leave(e, f);
  uint32_t n = insert_at(e, at, &value, only);
  if (at <= series::index_of(&e.input)) e.input.data1 += n;  // the position stays on the same input
  return terminal(e, true);
}

step change(engine& e, const cell& word) {
  cell v;
  if (!peek(e, 1, &v)) fire(err::script_parse_rule, &word);
  argument(e, word);
  bool only = is_word(&v, kw::only);
  if (only) {
    if (!peek(e, 1, &v)) fire(err::script_parse_rule, &word);
    argument(e, word);
  }
  if (type_of(&v) == type::path) fire(err::script_parse_rule, &v);
  cell mark;
  if (input_position(e, v, &mark)) {
    cell x;
    if (!peek(e, 1, &x)) fire(err::script_parse_rule, &v);
    argument(e, word);
    cell value;
    flow f = command_value(e, &x, &value);
    if (f != flow::normal) return leave(e, f);
    uint32_t from = series::index_of(&mark), to = series::index_of(&e.input);
    if (from > to) std::swap(from, to);
    e.input.data1 = change_range(e, from, to, &value, only);
    return terminal(e, true);
  }
  return start_command(e, only ? code::change_only : code::change, 0, no_info);
}

// ---------------------------------------------------------------------------------------------
// collect and keep.

step collect(engine& e, const cell& word) {
  cell arg = argument(e, word);
  uint32_t kind = target::block;
  cell target_word{type::none, 0, 0, 0};
  cell next;
  bool named = is_word(&arg, kw::set) || is_word(&arg, kw::into) || is_word(&arg, kw::after);
  if (named && peek(e, 1, &next) && type_of(&next) == type::word) {
    kind = is_word(&arg, kw::set) ? target::set : is_word(&arg, kw::into) ? target::into
                                                                          : target::after;
    target_word = argument(e, word);
    argument(e, word);
  }
  cell info = open_collect(e, kind, &target_word);
  return start_command(e, code::collect, 0, info);
}

step keep(engine& e, const cell& word) {
  if (e.collects == 0) fire(err::script_parse_keep);
  cell arg = argument(e, word);
  bool pick = is_word(&arg, kw::pick);
  if (pick) arg = argument(e, word);
  if (type_of(&arg) == type::paren) {
    cell value;
    flow f = eval_paren(e, &arg, &value);
    if (f != flow::normal) return leave(e, f);
    keep_value(e, &value, pick);
    return terminal(e, true);
  }
  return start_command(e, code::keep, pick ? 1 : 0, no_info);
}

}  // namespace

step terminal(engine& e, bool ok) {
  e.matched = ok;
  if (!fire_event(e, ev::match)) return step::stop;
  return ok ? step::matched : step::failed;
}

cell word_rule(const cell& word) {
  cell w = word;
  cell value = *context::get_value(&w);
  uint32_t t = type_of(&value);
  if (t == type::unset || t == type::word || t == type::set_word || t == type::get_word)
    fire(err::script_parse_rule, &w);
  return value;
}

step dispatch_value(engine& e, cell rule) {
  switch (type_of(&rule)) {
    case type::block:
      return push_block_frame(e, &rule) ? step::next : step::stop;
    case type::word: {
      kw k = keyword_of(&rule);
      if (k != kw::not_keyword) return keyword(e, k, rule);
      return dispatch_value(e, word_rule(rule));  // not a word: one level only
    }
    case type::set_word: {
      cell here = e.input;
      context::set_value(&rule, &here);
      return step::matched;
    }
    case type::get_word: {
      cell there = *context::get_value(&rule);
      if (!on_input(e, &there)) fire(err::script_parse_invalid_ref, &rule);
      e.input.data1 = series::index_of(&there);
      return step::matched;
    }
    case type::paren: {
      flow f = eval_paren(e, &rule, nullptr);
      if (f != flow::normal) return leave(e, f);
      // The paren may have changed the rules: the position stays within them.
      int32_t last = int32_t(rule_length(e)) - 1;
      if (rule_pos(e) > last) set_rule_pos(e, last);
      if (!fire_event(e, ev::paren)) return step::stop;
      return step::neutral;
    }
    case type::integer:
      return count(e, rule);
    case type::datatype_:
    case type::typeset: {
      uint32_t pos = series::index_of(&e.input);
      bool ok = match_type(e, &rule, pos);
      if (ok) e.input.data1 = pos;
      return terminal(e, ok);
    }
    case type::path:
      fire(err::script_parse_rule, &rule);
    default: {
      uint32_t pos = series::index_of(&e.input);
      bool ok = match_literal(e, &rule, pos);
      if (ok) e.input.data1 = pos;
      return terminal(e, ok);
    }
  }
}

step keyword(engine& e, kw k, const cell& word) {
  switch (k) {
    case kw::bar:
      return step::bar;
    case kw::skip: {
      bool ok = series::index_of(&e.input) < view_of(e).end;
      if (ok) e.input.data1++;
      return terminal(e, ok);
    }
    case kw::end:
      return terminal(e, series::index_of(&e.input) >= view_of(e).end);
    case kw::none:
      return terminal(e, true);
    case kw::fail:
      return terminal(e, false);
    case kw::break_:
      return step::break_;
    case kw::reject:
      return step::reject;
    case kw::any:
      return repetition(e, word, 0, -1, code::repeat);
    case kw::some:
      return repetition(e, word, 1, -1, code::repeat);
    case kw::opt:
      return repetition(e, word, 0, 1, code::repeat);
    case kw::while_:
      return repetition(e, word, 0, -1, code::while_);
    case kw::to:
    case kw::thru:
      return to_thru(e, word, k == kw::thru);
    case kw::not_:
    case kw::ahead:
      argument(e, word);
      return start_command(e, k == kw::not_ ? code::not_ : code::ahead, 0, no_info);
    case kw::quote: {
      cell v = argument(e, word);
      uint32_t pos = series::index_of(&e.input);
      bool ok = match_literal(e, &v, pos);
      if (ok) e.input.data1 = pos;
      return terminal(e, ok);
    }
    case kw::if_: {
      cell p = argument(e, word);
      if (type_of(&p) != type::paren) fire(err::script_parse_end, &word);
      cell value;
      flow f = eval_paren(e, &p, &value);
      if (f != flow::normal) return leave(e, f);
      return terminal(e, is_true(&value));
    }
    case kw::case_:
      return case_command(e, word);
    case kw::copy:
      return word_command(e, word, code::copy);
    case kw::set:
      return word_command(e, word, code::set);
    case kw::into:
      return into(e, word);
    case kw::remove:
      return remove(e, word);
    case kw::insert:
      return insert(e, word);
    case kw::change:
      return change(e, word);
    case kw::collect:
      return collect(e, word);
    case kw::keep:
      return keep(e, word);
    default:
      return dispatch_value(e, word_rule(word));
  }
}

}  // namespace kaz::parse

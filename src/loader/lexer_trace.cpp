// Trace events: the callback of transcode/trace sees each token with its position in the
// source, and may move that position.
#include "core/block_storage.h"
#include "core/context.h"
#include "core/evaluator.h"
#include "core/exit_in_flight.h"
#include "core/function.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "core/truth.h"
#include "core/word.h"
#include "loader/lexer_hooks.h"
#include "loader/lexer_state.h"

namespace kaz::lexer {

namespace {

// Symbols of the event words, made on first use (symbols live for the whole run).
uint32_t event_symbol(uint32_t bit) {
  static uint32_t symbols[6] = {};
  static const char* const names[6] = {"prescan", "scan", "load", "open", "close", "error"};
  uint32_t i = 0;
  while (i < 5 && (1u << i) != bit) ++i;
  if (!symbols[i]) symbols[i] = symbol::make(names[i]);
  return symbols[i];
}

}  // namespace

uint32_t callback_event_mask(const cell* f) {
  if (hooks.event_mask) return hooks.event_mask(f) & event::all;
  if (type_of(f) != type::function) return event::all;
  cell body = function::extra_cells(f)[extra::body];
  if (type_of(&body) != type::block || block::rs_length(&body) <= 0) return event::all;
  cell first = *block::rs_head(&body);
  if (type_of(&first) != type::block) return event::all;
  uint32_t mask = 0;
  for (int32_t i = 0; i < block::rs_length(&first); ++i) {
    const cell* w = block::rs_head(&first) + i;
    if (type_of(w) != type::word) continue;
    for (uint32_t bit = 1; bit <= event::error; bit <<= 1)
      if (symbol::resolve(word::symbol_of(w)) == symbol::resolve(event_symbol(bit))) mask |= bit;
  }
  return mask;
}

namespace {

bool is_continuation(uint8_t b) { return (b & 0xC0) == 0x80; }

// The source units (characters of a string, bytes of a binary) from the input start to `p`.
// String input is our own UTF-8 encoding of the source, so every character starts with one
// non-continuation byte; a cursor keeps the walk short as events move forward.
uint32_t units_at(lexer_state& s, const uint8_t* p) {
  if (!s.source_is_string) return uint32_t(p - s.input_start);
  if (!s.unit_cursor) {
    s.unit_cursor = s.input_start;
    s.unit_cursor_offset = 0;
  }
  const uint8_t* c = s.unit_cursor;
  uint32_t n = s.unit_cursor_offset;
  while (c < p) {
    if (!is_continuation(*c)) ++n;
    ++c;
  }
  while (c > p) {
    --c;
    if (!is_continuation(*c)) --n;
  }
  s.unit_cursor = c;
  s.unit_cursor_offset = n;
  return n;
}

// The byte position of a unit offset (clamped to the input).
const uint8_t* position_of_units(lexer_state& s, uint32_t units) {
  if (!s.source_is_string) {
    uint32_t size = uint32_t(s.input_end - s.input_start);
    return s.input_start + (units < size ? units : size);
  }
  const uint8_t* c = s.input_start;
  uint32_t n = 0;
  while (c < s.input_end) {
    if (!is_continuation(*c)) {
      if (n == units) break;
      ++n;
    }
    ++c;
  }
  return c;
}

}  // namespace

bool call_trace_function(const cell* f, cell args[5]) {
  static uint32_t name_symbol = 0;
  if (!name_symbol) name_symbol = symbol::make("<lexer-callback>");
  stack::saved_state saved = stack::save();
  cell name;
  context::intern_global(name_symbol, &name);
  stack::open_interpreted_function_frame(&name);
  for (int i = 0; i < 5; ++i) stack::push(&args[i]);
  cell fn = *f;
  flow status = evaluator::call_with_arguments(&fn, &name);
  if (status != flow::normal) {
    stack::unwind_to(saved);
    raise_exit(status);  // across the lexer, to the caller of transcode (see exit_in_flight)
  }
  // The arguments are the function's values on the stack: the input as the function left it.
  cell result = stack::arguments[0];
  cell input = stack::arguments[1];
  stack::unwind_to(saved);
  args[1] = input;
  return is_true(&result);
}

void move_position(lexer_state& s, const uint8_t* to) {
  if (to < s.input_start) to = s.input_start;
  if (to > s.input_end) to = s.input_end;
  const uint8_t* p = s.pos;
  if (to > p) {
    for (; p < to; ++p) s.line += *p == '\n';
  } else {
    for (; p > to; --p) s.line -= *(p - 1) == '\n';
    if (s.line < 1) s.line = 1;
  }
  s.pos = to;
}

bool fire_event(lexer_state& s, uint32_t bit, uint32_t type_id, const cell* value, bool* moved) {
  if (!wants(s, bit)) return true;

  cell args[5];
  context::intern_global(event_symbol(bit), &args[0]);

  uint32_t start = units_at(s, s.token_start);
  uint32_t end = units_at(s, s.token_end);
  uint32_t input_index = s.source_index + start;
  args[1] = s.source;
  args[1].data1 = input_index;

  if (type_id) {
    args[2].header = type::datatype_;
    args[2].data1 = type_id;
    args[2].data2 = args[2].data3 = 0;
  } else if (!hooks.class_word || !hooks.class_word(s.token_class, &args[2])) {
    args[2] = cell{type::none, 0, 0, 0};
  }

  args[3] = cell{type::integer, 0, uint32_t(s.line), 0};

  if (value) {
    args[4] = *value;
    args[4].header &= ~new_line_flag;
  } else {
    args[4] = cell{type::pair, 0, start + 1, end + 1};
  }

  bool answer = hooks.call_trace ? hooks.call_trace(&s.callback, args)
                                 : call_trace_function(&s.callback, args);

  // A moved input: the index of the same series changed.
  const cell& in = args[1];
  if (type_of(&in) == type_of(&s.source) && series::node_of(&in) == series::node_of(&s.source) && series::index_of(&in) != input_index &&
      series::index_of(&in) >= s.source_index) {
    s.resume = position_of_units(s, series::index_of(&in) - s.source_index);
    if (moved) *moved = true;
  }
  return answer;
}

}  // namespace kaz::lexer

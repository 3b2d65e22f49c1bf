// The scanning loop: the automaton finds each token, its class's scanner or loader checks and
// builds it, and the modes decide when to stop.
#include "loader/lexer_scan.h"

#include "loader/lexer_classes.h"
#include "loader/lexer_state.h"

namespace kaz::lexer {

lexer_state* innermost = nullptr;

namespace {

// Handlers by token class: the scanners of the structural classes, then the loaders.
constexpr token_fn handlers[token::count + 1] = {
    nullptr,             // 0
    nullptr,             // 1 end of input
    nullptr,             // 2 invalid bytes
    scan_block_open,     // 3 [
    scan_block_close,    // 4 ]
    scan_paren_open,     // 5 (
    scan_paren_close,    // 6 )
    scan_brace_open,     // 7 {
    scan_brace_close,    // 8 } in a brace string
    scan_map_open,       // 9 #[
    scan_path_open,      // 10 word/
    scan_construct,      // 11 #(...)
    scan_comment,        // 12 ;
    scan_comma,          // 13 ,
    load_string,         // 14
    load_word,           // 15
    load_issue,          // 16
    load_integer,        // 17
    load_refinement,     // 18
    load_char,           // 19
    load_file,           // 20
    load_binary,         // 21
    load_percent,        // 22
    load_float,          // 23
    load_special_float,  // 24
    load_tuple,          // 25
    load_date,           // 26
    load_pair,           // 27
    load_point,          // 28
    load_time,           // 29
    load_money,          // 30
    load_tag,            // 31
    load_url,            // 32
    load_email,          // 33
    load_hex_integer,    // 34
    load_raw_string,     // 35
    load_ref,            // 36
};

// Classes with a scanner of their own; the others are checked by their loader.
bool has_scanner(uint8_t k) { return k <= token::word || k == token::issue; }

/*
 * Runs the automaton from the current position: one class lookup and one transition per byte.
 * Bytes that keep the start state (blanks, control bytes, line feeds) are skipped before the
 * token; the byte that ends the token stays unread unless its transition takes it in.
 */
void next_token(lexer_state& s) {
  const uint8_t* p = s.pos;
  const uint8_t* end = s.input_end;
  const uint8_t* start = p;
  uint8_t st = s.entry_state;
  uint32_t flags = 0;
  int32_t lines = 0;
  bool new_line = false;
  uint8_t next;
  while (true) {
    if (p >= end) {
      next = transitions[st][cls::nul];
      break;
    }
    uint32_t entry = byte_classes[*p];
    uint8_t c = uint8_t(entry & flag::class_mask);
    next = transitions[st][c];
    if ((next & state::mask) >= state::first_final) {
      if (next & state::consume) {
        flags |= entry;
        ++p;
      }
      break;
    }
    if (skip_table[next]) {
      start = p + 1;
      if (c == cls::lf) {
        ++s.line;
        new_line = true;
      }
    } else {
      flags |= entry;
      lines += c == cls::lf;
    }
    st = next;
    ++p;
  }
  uint8_t fin = next & state::mask;
  s.token_start = start;
  s.token_end = p;
  s.pos = p;
  s.token_flags = flags & ~flag::class_mask;
  s.token_class = token_of_state(fin);
  s.token_type = type_table[fin];
  s.fail_state = st;
  s.token_lines = lines;
  s.new_line = new_line;
  s.entry_state = state::start;
}

// Lines of the token, and a position a callback moved.
void finish_token(lexer_state& s) {
  s.line += s.token_lines;
  s.token_lines = 0;
  if (s.resume) {
    move_position(s, s.resume);
    s.resume = nullptr;
  }
}

// A token no rule of the automaton fits.
[[noreturn]] void invalid_token(lexer_state& s) {
  bool at_end = s.token_end >= s.input_end || *s.token_end == 0;
  if (s.brace_depth > 0 && at_end) throw_error(s, kind::missing_end, 0, s.brace_start);
  uint8_t t = type_table[s.fail_state];
  throw_error(s, t ? int32_t(t) : kind::bad_char);
}

// Values of the classes 14-36: scanner or checking loader, scan event, loader, load event.
void value_token(lexer_state& s, uint8_t k) {
  if (k == token::point) {
    // The point literal replaces the marker its "(" opened.
    if (s.open_type == type::point2d) s.new_line = pop_marker(s);
  }
  if (!s.load) {
    if (!(s.prescan && !has_scanner(k) && !wants(s, event::scan))) {
      handlers[k](s, false);
      fire_event(s, event::scan, s.token_type, nullptr);
    }
    value_done(s, s.token_type);
    return;
  }
  if (wants(s, event::scan)) {
    handlers[k](s, false);
    fire_event(s, event::scan, s.token_type, nullptr);
  }
  uint32_t before = buffer_length(s);
  handlers[k](s, true);
  value_done(s, s.token_type);
  if (wants(s, event::load) && buffer_length(s) > before) {
    cell value = *buffer_cell(s, before);
    if (!fire_event(s, event::load, s.token_type, &value)) {
      truncate_buffer(s, before);
      s.complete = false;
    }
  }
}

void process_token(lexer_state& s) {
  uint8_t k = s.token_class;
  if (k == token::error) invalid_token(s);
  if (k == token::word && !trim_word_separators(s)) return;  // only separators: skipped
  if (wants(s, event::prescan) && !fire_event(s, event::prescan, s.token_type, nullptr)) return;
  if (k <= token::comma) handlers[k](s, s.load);
  else value_token(s, k);
  if (k != token::path_open && is_any_path(s.open_type)) path_continuation(s);
}

/*
 * At the end of the input nothing may be left open. A callback may not refuse this error when
 * values are loaded: there is nothing left to resume, and the open series cannot be given back.
 */
void check_closed(lexer_state& s) {
  s.token_start = s.token_end = s.input_end;
  s.token_class = token::end;
  if (s.brace_depth == 0 && s.open_head == no_open) return;
  const uint8_t* near = s.brace_depth > 0
                            ? s.brace_start
                            : s.input_start + buffer_cell(s, s.open_head)->data3;
  try {
    throw_error(s, kind::missing_end, '_', near);
  } catch (const token_abandoned&) {
    if (s.load) raise_syntax_error(s, kind::missing_end, '_', near);
  }
}

}  // namespace

void scan_tokens(lexer_state& s) {
  while (true) {
    s.complete = false;
    s.resume = nullptr;
    next_token(s);
    if (s.token_class == token::end) {
      if (s.token_start >= s.input_end) break;
      // A NUL byte before the end would silently drop the rest of the input.
      s.token_end = s.token_start + 1;
      s.token_class = token::error;
      s.fail_state = state::start;
    }
    try {
      process_token(s);
    } catch (const token_abandoned&) {
      s.entry_state = s.brace_depth > 0 ? state::brace_string : state::start;
    }
    finish_token(s);
    if (s.stop) return;
    if ((s.one || !s.load) && s.complete) return;
  }
  check_closed(s);
}

}  // namespace kaz::lexer

// The state of one running scan, and the operations every scanner and loader shares: the value
// buffer, open series, syntax errors and trace events.
#pragma once

#include <cstdint>

#include "loader/lexer_hooks.h"
#include "loader/lexer_transitions.h"
#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::lexer {

constexpr uint32_t no_open = 0xFFFFFFFF;

/*
 * One record per running scan, on the caller's stack. A trace callback or a conversion may scan
 * again while a scan runs; the nested record names its parent and uses the shared value buffer
 * above the parent's cells. Cells held here (callback, source) are found by the collector's scan
 * of the native stack; the value buffer is a cell series whose node this record holds, so its
 * cells are marked with it. Positions in the buffer are indexes, never addresses.
 */
struct lexer_state {
  lexer_state* parent = nullptr;

  // The value buffer: a cell series shared by the chain of scans.
  node_t buffer = 0;
  uint32_t head = 0;          // first cell of this scan
  uint32_t open_head = no_open;  // index of the innermost open-series marker
  uint32_t open_type = 0;     // datatype of the innermost open series (0: none)

  // The input, UTF-8 bytes that no one else changes while the scan runs.
  const uint8_t* input_start = nullptr;
  const uint8_t* input_end = nullptr;
  const uint8_t* pos = nullptr;  // where the next token starts scanning

  // The current token.
  const uint8_t* token_start = nullptr;
  const uint8_t* token_end = nullptr;
  uint32_t token_flags = 0;
  uint32_t token_type = 0;    // datatype (0: none)
  uint8_t token_class = 0;
  uint8_t fail_state = 0;     // the working state the automaton was in when the token ended
  uint8_t entry_state = 0;    // state the next token starts in (0, 4, 35 or 59)
  bool new_line = false;      // a line break precedes the token
  int32_t line = 1;           // line of the token start
  int32_t token_lines = 0;    // line feeds inside the token
  const uint8_t* resume = nullptr;  // where a callback moved the input (applied after the token)

  // Brace string being read across tokens.
  int32_t brace_depth = 0;
  const uint8_t* brace_start = nullptr;
  uint32_t brace_flags = 0;
  bool brace_new_line = false;

  // Modes.
  bool load = true;       // values are built
  bool one = false;       // stop after the first complete value
  bool prescan = false;   // classify by the automaton alone

  // Trace callback.
  bool has_callback = false;
  uint32_t event_mask = 0;
  cell callback{};
  cell source{};             // the series the callback sees as its input
  bool source_is_string = false;
  uint32_t source_index = 0; // index in the source of input_start
  const uint8_t* unit_cursor = nullptr;  // byte position of a known unit offset (strings)
  uint32_t unit_cursor_offset = 0;

  // Results.
  bool complete = false;     // a complete value was produced at the top level by this token
  bool stop = false;         // the scan ends after this token
  uint32_t result_type = 0;  // scan modes: the datatype of the value recognised
  bool saw_value = false;    // scan modes: a token was classified
};

// The innermost running scan (null when none).
extern lexer_state* innermost;

// ---------------------------------------------------------------------------------------------
// Value buffer

uint32_t buffer_length(const lexer_state& s);
const cell* buffer_cell(const lexer_state& s, uint32_t index);
void truncate_buffer(const lexer_state& s, uint32_t length);
// Appends a copy of the value, with the new-line marker when a line break preceded the token;
// answers the appended cell (valid until the next allocation).
cell* append_value(lexer_state& s, const cell& value);

// Open series: a marker cell (datatype id 31, which no value uses here) holds the previous
// marker's index, the type being opened (comma count in the upper 16 bits for a point) and the
// opener's byte offset in the input.
void open_series(lexer_state& s, uint32_t type_id, const uint8_t* opener, bool new_line);
// Takes the values above the innermost marker into a series of its type (when loading) and puts
// it in the marker's place; pops the marker.
void close_series(lexer_state& s);
// Pops the innermost marker and anything above it; answers its new-line marker (a point
// literal read as one token replaces its marker by the point).
bool pop_marker(lexer_state& s);
// Retypes the innermost open series (a paren that turns into a point, a path into a set-path).
void retype_open_series(lexer_state& s, uint32_t type_id, uint32_t commas);
uint32_t open_commas(const lexer_state& s);
// Marks the end of a complete top-level value of the given type.
void value_done(lexer_state& s, uint32_t type_id);

// ---------------------------------------------------------------------------------------------
// Syntax errors

// Error kinds passed instead of a datatype.
namespace kind {
constexpr int32_t bad_char = -1;
constexpr int32_t malconstruct = -2;
constexpr int32_t missing = -3;       // unbalanced nesting; `met` is the byte met
constexpr int32_t missing_end = -4;   // input ended inside something open
}  // namespace kind

// Thrown to abandon the current token when an error is not raised (scan modes, or a callback
// that refused the error). The scan loop catches it.
struct token_abandoned {};

/*
 * Reports a syntax error on the current token: a datatype id (the token is invalid as that
 * type; 0 picks the token's own type) or one of the kinds above. When values are loaded the
 * error is raised (after the error event, whose callback may refuse it); otherwise the token
 * becomes error! and is abandoned.
 */
[[noreturn]] void throw_error(lexer_state& s, int32_t type_or_kind, uint8_t met = 0,
                              const uint8_t* near_start = nullptr);

// The error as a language error (for tests and the raising path): arg1 "(line N)", the kind's
// arguments and the near text from `near_start`.
[[noreturn]] void raise_syntax_error(const lexer_state& s, int32_t type_or_kind, uint8_t met,
                                     const uint8_t* near_start);

// ---------------------------------------------------------------------------------------------
// Trace events

// Fires an event when the callback wants it; answers the callback's truth (true when there is
// no callback or the event is not wanted). `value` is the loaded value for the load event.
// When the callback moved its input, the scan position follows and `moved` is set.
bool fire_event(lexer_state& s, uint32_t event_bit, uint32_t type_id, const cell* value,
                bool* moved = nullptr);
// The events a trace function asks for (the hook's answer, else the event words of a block at
// the head of a function's body, else all).
uint32_t callback_event_mask(const cell* function);
inline bool wants(const lexer_state& s, uint32_t event_bit) {
  return s.has_callback && (s.event_mask & event_bit);
}

// Moves the scan position, keeping the line counter right (the callback moved the input).
void move_position(lexer_state& s, const uint8_t* to);

// ---------------------------------------------------------------------------------------------
// Token handlers, one per class (in lexer_scanners.cpp and the loader files). `load` false
// checks without building.

using token_fn = void (*)(lexer_state& s, bool load);

// Structure (classes 1-13).
void scan_block_open(lexer_state& s, bool load);
void scan_block_close(lexer_state& s, bool load);
void scan_paren_open(lexer_state& s, bool load);
void scan_paren_close(lexer_state& s, bool load);
void scan_brace_open(lexer_state& s, bool load);
void scan_brace_close(lexer_state& s, bool load);
void scan_map_open(lexer_state& s, bool load);
void scan_path_open(lexer_state& s, bool load);
void scan_construct(lexer_state& s, bool load);
void scan_comment(lexer_state& s, bool load);
void scan_comma(lexer_state& s, bool load);
// After a path segment: closes the path, continues it or makes it a set-path.
void path_continuation(lexer_state& s);

// Value classes (14-36).
void load_string(lexer_state& s, bool load);
void load_word(lexer_state& s, bool load);
void load_issue(lexer_state& s, bool load);
void load_integer(lexer_state& s, bool load);
void load_refinement(lexer_state& s, bool load);
void load_char(lexer_state& s, bool load);
void load_file(lexer_state& s, bool load);
void load_binary(lexer_state& s, bool load);
void load_percent(lexer_state& s, bool load);
void load_float(lexer_state& s, bool load);
void load_special_float(lexer_state& s, bool load);
void load_tuple(lexer_state& s, bool load);
void load_date(lexer_state& s, bool load);
void load_pair(lexer_state& s, bool load);
void load_point(lexer_state& s, bool load);
void load_time(lexer_state& s, bool load);
void load_money(lexer_state& s, bool load);
void load_tag(lexer_state& s, bool load);
void load_url(lexer_state& s, bool load);
void load_email(lexer_state& s, bool load);
void load_hex_integer(lexer_state& s, bool load);
void load_raw_string(lexer_state& s, bool load);
void load_ref(lexer_state& s, bool load);

// Loads the text [start, end) as a string-family value of the type, decoding ^ escapes when the
// flags show one; used by strings, brace strings, tags and quoted files.
void load_text(lexer_state& s, const uint8_t* start, const uint8_t* end, uint32_t flags,
               uint32_t type_id, bool load);

// Appends a word of the type for the UTF-8 name.
void append_word(lexer_state& s, const uint8_t* p, const uint8_t* end, uint32_t type_id);
// Checks that [p, end) is well-formed UTF-8, else raises an error of the type.
void check_utf8(lexer_state& s, const uint8_t* p, const uint8_t* end, uint32_t type_id);

// A word token cut at Unicode separator code points: answers false when the token held only
// separators (it is skipped like whitespace).
bool trim_word_separators(lexer_state& s);

}  // namespace kaz::lexer

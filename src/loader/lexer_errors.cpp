// Syntax errors: the line, the kind and the text near the error.
#include <cstddef>
#include <string>

#include "core/string_storage.h"
#include "loader/lexer_state.h"
#include "runtime/fire.h"

namespace kaz::lexer {

namespace {

constexpr size_t near_limit = 30;

bool is_path_type(uint32_t t) { return is_any_path(t); }

// The source from `start` up to the first line end (a line feed or a carriage return: a CRLF
// file's line otherwise ended the message in a raw CR), the end of the input or 30 bytes, cut
// back to whole UTF-8 characters. Bytes that are not UTF-8 show as U+FFFD.
void near_text(const lexer_state& s, const uint8_t* start, cell* out) {
  if (start < s.input_start) start = s.input_start;
  if (start > s.input_end) start = s.input_end;
  const uint8_t* end = start;
  const uint8_t* limit = s.input_end - start > std::ptrdiff_t(near_limit) ? start + near_limit
                                                                       : s.input_end;
  while (end < limit && *end != '\n' && *end != '\r') ++end;
  // Do not cut a character: drop a trailing partial sequence.
  if (end < s.input_end && (*end & 0xC0) == 0x80) {
    const uint8_t* lead = end;
    while (lead > start && (*lead & 0xC0) == 0x80) --lead;
    end = lead;
  }
  string::make_at(out, uint32_t(end - start) + 1);
  node_t node = string::node_of(out);
  const uint8_t* p = start;
  while (p < end) {
    std::string_view rest(reinterpret_cast<const char*>(p), size_t(end - p));
    uint32_t used = string::append_utf8(node, rest);
    p += used;
    if (p < end) {
      string::append_code_point(node, 0xFFFD);
      ++p;
    }
  }
}

void line_text(int32_t line, cell* out) {
  std::string text = "(line " + std::to_string(line) + ")";
  string::make_at(out, uint32_t(text.size()));
  string::append_ascii(string::node_of(out), text);
}

// The closing character an unbalanced or unfinished series wants.
uint32_t expected_closer(const lexer_state& s, int32_t kind_code, uint8_t met) {
  if (kind_code == kind::missing_end) {
    if (s.brace_depth > 0) return '}';
    met = '_';
  }
  switch (s.open_type) {
    case type::block:
    case type::map:
      return met == ']' ? '[' : ']';
    case type::paren:
    case type::point2d:
      return met == ')' ? '(' : ')';
    default:
      return met == ')' ? '(' : met == ']' ? '[' : ']';
  }
}

}  // namespace

void raise_syntax_error(const lexer_state& s, int32_t k, uint8_t met, const uint8_t* near_start) {
  cell line{}, near{}, arg{};
  int32_t line_number = s.line;
  if (k == kind::missing_end) {
    // Something left open at the end: report the line of its opener, where the near text is.
    line_number = 1;
    for (const uint8_t* p = s.input_start; p < near_start && p < s.input_end; ++p)
      line_number += *p == '\n';
  }
  line_text(line_number, &line);
  near_text(s, near_start, &near);
  if (k > 0) {
    arg.header = type::datatype_;
    arg.data1 = uint32_t(k);
    arg.data2 = arg.data3 = 0;
    fire(err::syntax_invalid, &line, &arg, &near);
  }
  switch (k) {
    case kind::malconstruct:
      fire(err::syntax_malconstruct, &line, &near);
    case kind::missing:
    case kind::missing_end:
      arg.header = type::char_;
      arg.data1 = arg.data3 = 0;
      arg.data2 = expected_closer(s, k, met);
      fire(err::syntax_missing, &line, &arg, &near);
    default:
      fire(err::syntax_bad_char, &line, &near);
  }
}

void throw_error(lexer_state& s, int32_t k, uint8_t met, const uint8_t* near_start) {
  // Inside a path every error reads as a bad character of the path, shown from its start.
  if (is_path_type(s.open_type)) {
    k = kind::bad_char;
    if (!near_start) near_start = s.input_start + buffer_cell(s, s.open_head)->data3;
  }
  if (k == 0) k = int32_t(s.token_type ? s.token_type : s.open_type ? s.open_type : type::error);
  if (!near_start) near_start = s.brace_depth > 0 ? s.brace_start : s.token_start;

  if (wants(s, event::error)) {
    uint32_t event_type = k > 0 ? uint32_t(k) : uint32_t(type::error);
    bool moved = false;
    if (!fire_event(s, event::error, event_type, nullptr, &moved)) {
      // Refused: drop the token and go on where the callback left the input, but always past
      // the start of the failing token, so a callback that does not move cannot loop for ever.
      const uint8_t* at = moved ? s.resume : s.token_end;
      if (at <= s.token_start) at = s.token_start < s.input_end ? s.token_start + 1 : s.input_end;
      s.resume = at;
      s.brace_depth = 0;
      s.entry_state = state::start;
      if (!s.load && s.prescan && s.token_class <= token::string) s.stop = true;
      throw token_abandoned{};
    }
  }
  if (!s.load) {
    s.result_type = type::error;
    s.saw_value = true;
    s.stop = true;
    throw token_abandoned{};
  }
  raise_syntax_error(s, k, met, near_start);
}

}  // namespace kaz::lexer

// Loaders of the text tokens: strings, raw strings, chars, files, tags, urls, emails and refs.
#include <cstring>

#include "core/string_storage.h"
#include "loader/lexer_classes.h"
#include "loader/lexer_escapes.h"
#include "loader/lexer_state.h"
#include "runtime/fire.h"

namespace kaz::lexer {

namespace {

/*
 * Builds a string-family value character by character in a buffer sized for the worst case (one
 * character per input byte), starting in the unit the token's lead bytes call for and widening
 * when an escape gives a wider character.
 */
struct text_writer {
  cell value{};
  uint32_t unit = 1;
  uint32_t capacity = 0;  // characters

  void init(uint32_t count, uint32_t start_unit, uint32_t type_id) {
    unit = start_unit;
    capacity = count;
    string::init_cell_with_unit(&value, capacity, unit, type_id);
  }
  void put(uint32_t cp) {
    uint32_t need = string::write_unit_for(cp);
    if (need > unit) {
      string::widen(string::node_of(&value), need);
      unit = need;
      keep_capacity();
    }
    series_buffer* b = string::buffer_of(&value);
    string::put_char(b->tail_rw(), unit, cp);
    b->tail += unit;
  }
  // Widening keeps only the characters written: the worst case is made room for again.
  void keep_capacity() {
    uint64_t want = memory::round16(uint64_t(capacity) * unit);
    if (want > memory::max_series_bytes) fire(err::internal_no_memory);
    series_buffer* b = string::buffer_of(&value);
    if (b->size < want) memory::expand_series_copy(b, uint32_t(want));
  }
  void put_bytes(const uint8_t* p, size_t n) {  // unit-1 text, bytes below 80h
    series_buffer* b = string::buffer_of(&value);
    std::memcpy(b->tail_rw(), p, n);
    b->tail += uint32_t(n);
  }
};

// Flags of a byte range, as the automaton would have gathered them.
uint32_t flags_of(const uint8_t* p, const uint8_t* end) {
  uint32_t f = 0;
  for (; p < end; ++p) f |= byte_classes[*p];
  return f & ~flag::class_mask;
}

/*
 * %XX escapes of files and urls: an escaped UTF-8 lead byte takes the escapes of its
 * continuation bytes with it and gives one character; an escaped byte that leads nothing is that
 * code point; a "%" that does not start a valid escape is kept, as are all other characters.
 */
void load_percent_text(lexer_state& s, const uint8_t* p, const uint8_t* end, uint32_t type_id,
                       bool load) {
  text_writer w;
  if (load) w.init(uint32_t(end - p), unit_for_flags(flags_of(p, end)), type_id);
  auto escaped = [end](const uint8_t* q, uint8_t& byte) {
    if (q + 3 > end || *q != '%') return false;
    uint8_t hi = hex_digit(q[1]), lo = hex_digit(q[2]);
    if (hi == 255 || lo == 255) return false;
    byte = uint8_t(hi * 16 + lo);
    return true;
  };
  while (p < end) {
    uint8_t first;
    uint32_t cp;
    if (escaped(p, first)) {
      uint32_t n = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 0;
      if (n == 0) {
        if (load) w.put(first);
        p += 3;
        continue;
      }
      uint8_t bytes[4] = {first, 0, 0, 0};
      uint32_t i = 1;
      while (i < n && escaped(p + 3 * i, bytes[i])) ++i;
      if (i == n && decode_utf8(bytes, bytes + n, cp) == bytes + n) {
        if (load) w.put(cp);
        p += 3 * n;
        continue;
      }
    }
    const uint8_t* next = decode_utf8(p, end, cp);
    if (!next || cp == 0) throw_error(s, int32_t(type_id));
    if (load) w.put(cp);
    p = next;
  }
  if (load) append_value(s, w.value);
}

}  // namespace

void load_text(lexer_state& s, const uint8_t* p, const uint8_t* end, uint32_t flags,
               uint32_t type_id, bool load) {
  text_writer w;
  uint32_t unit = unit_for_flags(flags);
  if (!(flags & flag::caret) && unit == 1) {
    // Plain ASCII: checked and copied as it is.
    for (const uint8_t* q = p; q < end; ++q)
      if (*q >= 0x80 || *q == 0) throw_error(s, int32_t(type_id));
    if (load) {
      w.init(uint32_t(end - p), 1, type_id);
      w.put_bytes(p, size_t(end - p));
      append_value(s, w.value);
    }
    return;
  }
  bool escapes = flags & flag::caret;
  if (load) w.init(uint32_t(end - p), unit, type_id);
  while (p < end) {
    uint32_t cp;
    const uint8_t* next;
    if (*p == '^' && escapes) next = decode_escape(p + 1, end, cp);
    else if (*p == 0) next = nullptr;
    else next = decode_utf8(p, end, cp);
    if (!next) throw_error(s, int32_t(type_id));
    if (load) w.put(cp);
    p = next;
  }
  if (load) append_value(s, w.value);
}

// "..."
void load_string(lexer_state& s, bool load) {
  load_text(s, s.token_start + 1, s.token_end - 1, s.token_flags, type::string, load);
}

/*
 * %{...}%: n "%" open, and the text ends at the first "}" followed by exactly n "%". A shorter
 * run goes on searching, past the end the automaton found when need be; a longer run is an
 * error. The text is taken as it is.
 */
void load_raw_string(lexer_state& s, bool load) {
  const uint8_t* p = s.token_start;
  uint32_t n = 0;
  while (*p == '%') ++p, ++n;
  const uint8_t* body = p + 1;  // after "{"
  if (!load) fire_event(s, event::open, type::string, nullptr);
  const uint8_t* q = body;
  const uint8_t* close = nullptr;
  while (q < s.input_end) {
    if (*q == '}') {
      uint32_t run = 0;
      const uint8_t* r = q + 1;
      while (r < s.input_end && *r == '%') ++r, ++run;
      if (run == n) {
        close = q;
        q = r;
        break;
      }
      if (run > n) throw_error(s, type::string);
      q = r;
      continue;
    }
    ++q;
  }
  if (!close) throw_error(s, type::string);
  // The text may run past the token the automaton found.
  for (const uint8_t* r = s.token_end; r < q; ++r) s.token_lines += *r == '\n';
  s.token_end = q;
  s.pos = q;
  load_text(s, body, close, flags_of(body, close) & ~flag::caret, type::string, load);
  if (!load) fire_event(s, event::close, type::string, nullptr);
}

// #"x"
void load_char(lexer_state& s, bool load) {
  const uint8_t* p = s.token_start + 2;
  const uint8_t* end = s.token_end - 1;
  if (*s.token_start != '#' || p >= end) throw_error(s, type::char_);
  uint32_t cp;
  const uint8_t* next = *p == '^' ? decode_escape(p + 1, end, cp) : decode_utf8(p, end, cp);
  if (!next || next != end) throw_error(s, type::char_);
  if (load) append_value(s, cell{type::char_, 0, cp, 0});
}

// %name or %"name"
void load_file(lexer_state& s, bool load) {
  const uint8_t* p = s.token_start + 1;
  if (*p == '"') {
    load_text(s, p + 1, s.token_end - 1, s.token_flags, type::file, load);
    return;
  }
  if (std::memchr(p, '%', size_t(s.token_end - p)))
    load_percent_text(s, p, s.token_end, type::file, load);
  else
    load_text(s, p, s.token_end, s.token_flags & ~flag::caret, type::file, load);
}

// <...>
void load_tag(lexer_state& s, bool load) {
  load_text(s, s.token_start + 1, s.token_end - 1, s.token_flags, type::tag, load);
}

// scheme:rest
void load_url(lexer_state& s, bool load) {
  if (*s.token_start == ':') throw_error(s, type::get_word);
  if (*s.token_start == '\'') throw_error(s, type::lit_word);
  if (s.token_flags & flag::percent)
    load_percent_text(s, s.token_start, s.token_end, type::url, load);
  else
    load_text(s, s.token_start, s.token_end, s.token_flags & ~flag::caret, type::url, load);
}

// name@host
void load_email(lexer_state& s, bool load) {
  load_text(s, s.token_start, s.token_end, s.token_flags & ~flag::caret, type::email, load);
}

// @name
void load_ref(lexer_state& s, bool load) {
  load_text(s, s.token_start + 1, s.token_end, s.token_flags & ~flag::caret, type::ref, load);
}

}  // namespace kaz::lexer

// Loaders of the word tokens: words and their set-, get- and lit- forms, issues and refinements.
#include "core/context.h"
#include "core/symbol.h"
#include "loader/lexer_escapes.h"
#include "loader/lexer_state.h"

namespace kaz::lexer {

namespace {

// The Unicode separators that end a word: U+0085, U+00A0, U+1680, U+180E, U+2000-U+200B,
// U+2028, U+2029, U+202F, U+205F and U+3000. Answers the length of the one at p, or 0.
uint32_t separator_at(const uint8_t* p, const uint8_t* end) {
  size_t n = size_t(end - p);
  if (n >= 2 && p[0] == 0xC2 && (p[1] == 0x85 || p[1] == 0xA0)) return 2;
  if (n < 3) return 0;
  uint32_t c = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
  switch (c) {
    case 0xE19A80:  // U+1680
    case 0xE1A08E:  // U+180E
    case 0xE280A8:  // U+2028
    case 0xE280A9:  // U+2029
    case 0xE280AF:  // U+202F
    case 0xE2819F:  // U+205F
    case 0xE38080:  // U+3000
      return 3;
    default:
      return c >= 0xE28080 && c <= 0xE2808B ? 3 : 0;  // U+2000-U+200B
  }
}

}  // namespace

void check_utf8(lexer_state& s, const uint8_t* p, const uint8_t* end, uint32_t type_id) {
  while (p < end) {
    if (*p < 0x80) {
      ++p;
      continue;
    }
    uint32_t cp;
    const uint8_t* next = decode_utf8(p, end, cp);
    if (!next) throw_error(s, int32_t(type_id));
    p = next;
  }
}

namespace {

std::string_view text(const uint8_t* p, const uint8_t* end) {
  return {reinterpret_cast<const char*>(p), size_t(end - p)};
}

}  // namespace

bool trim_word_separators(lexer_state& s) {
  if (!(s.token_flags & (flag::lead2 | flag::lead4))) return true;
  const uint8_t* p = s.token_start;
  while (uint32_t n = separator_at(p, s.token_end)) p += n;
  if (p == s.token_end) return false;
  s.token_start = p;
  for (const uint8_t* q = p; q < s.token_end; ++q) {
    if (*q >= 0xC2 && separator_at(q, s.token_end)) {
      // The word ends here; scanning resumes at the separator.
      s.token_end = q;
      s.pos = q;
      break;
    }
  }
  return true;
}

// Words are bound to the global context; refinements and issues stay unbound.
void append_word(lexer_state& s, const uint8_t* p, const uint8_t* end, uint32_t type_id) {
  uint32_t sym = symbol::make(text(p, end));
  cell w{};
  if (type_id == type::refinement || type_id == type::issue) {
    w = cell{type_id, 0, sym, 0};
  } else {
    context::intern_global(sym, &w);
    set_type(&w, type_id);
  }
  append_value(s, w);
}

void load_word(lexer_state& s, bool load) {
  const uint8_t* p = s.token_start;
  const uint8_t* end = s.token_end;
  check_utf8(s, p, end, type::word);
  uint32_t type_id = type::word;
  bool first_colon = *p == ':';
  bool last_colon = end - p > 1 && end[-1] == ':';
  if (*p == '\'') {
    if (last_colon) throw_error(s, type::lit_word);
    type_id = type::lit_word;
    ++p;
  } else if (first_colon && !last_colon) {
    type_id = type::get_word;
    ++p;
  } else if (last_colon && !first_colon) {
    type_id = type::set_word;
    --end;
  }
  for (const uint8_t* q = p; q < end; ++q)
    if (*q == ':') throw_error(s, type::word);
  if (p == end) throw_error(s, type::word);
  s.token_type = type_id;
  if (load) append_word(s, p, end, type_id);
}

// #name
void load_issue(lexer_state& s, bool load) {
  const uint8_t* p = s.token_start + 1;
  if (*s.token_start != '#' || p >= s.token_end) throw_error(s, type::issue);
  check_utf8(s, p, s.token_end, type::issue);
  if (load) append_word(s, p, s.token_end, type::issue);
}

// /name, and the word forms the automaton sends here
void load_refinement(lexer_state& s, bool load) {
  const uint8_t* p = s.token_start;
  const uint8_t* end = s.token_end;
  check_utf8(s, p, end, type::refinement);
  size_t n = size_t(end - p);
  uint32_t type_id;
  if (n == 1 && *p == '/') {
    type_id = type::word;
  } else if (n == 2 && *p == '\'') {
    type_id = type::lit_word;
    ++p;
  } else if (n == 2 && *p == ':') {
    type_id = type::get_word;
    ++p;
  } else if (n >= 2 && end[-1] == ':') {
    type_id = type::set_word;
    --end;
  } else {
    if (*p != '/' || n < 2) throw_error(s, type::refinement);
    type_id = type::refinement;
    ++p;
  }
  s.token_type = type_id;
  if (load) append_word(s, p, end, type_id);
}

}  // namespace kaz::lexer

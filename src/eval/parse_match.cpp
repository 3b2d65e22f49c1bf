// The matchers of the parse engine: one literal value, a datatype, a value repeated, and the
// forward search of to/thru, over string, binary and block input. Every match stays below the
// end of the input (its tail, or the /part limit).
#include <cstring>
#include <string>

#include "core/actions.h"
#include "core/scalar_cell.h"
#include "core/string_storage.h"
#include "core/typeset.h"
#include "datatypes/bitset.h"
#include "eval/parse_internal.h"
#include "loader/lexer_transcode.h"
#include "memory/case_map.h"
#include "runtime/fire.h"
#include "runtime/utf8_encode.h"

namespace kaz::parse {

view view_of(const engine& e) {
  series_buffer* s = memory::buffer_of(series::node_of(&e.input));
  view v;
  switch (e.fam) {
    case family::block:
      v.base = s->head();
      v.unit = sizeof(cell);
      v.tail = s->used_bytes() / uint32_t(sizeof(cell));
      break;
    case family::bytes:
      v.base = s->head();
      v.unit = 1;
      v.tail = s->used_bytes();
      break;
    default:  // text heads count from the start of the data area
      v.base = s->data();
      v.unit = s->unit();
      v.tail = s->tail / v.unit;
      break;
  }
  v.end = v.tail;
  if (e.depth == 0 && e.limit >= 0 && uint32_t(e.limit) < v.end) v.end = uint32_t(e.limit);
  return v;
}

bool literal_like(uint32_t t) {
  switch (t) {
    case type::word:
    case type::set_word:
    case type::get_word:
    case type::block:
    case type::paren:
    case type::integer:
    case type::path:
    case type::datatype_:
    case type::typeset:
      return false;
    default:
      return true;
  }
}

bool bitset_has(const cell* bitset, uint32_t c) {
  series_buffer* s = memory::buffer_of(bitset_type::node_of(bitset));
  if ((c >> 3) >= s->used_bytes()) return s->flags & series_flag::complement;
  return s->head()[c >> 3] & (0x80u >> (c & 7));
}

namespace {

// ---------------------------------------------------------------------------------------------
// Text: the characters of a string-family rule, compared with or without case.

inline uint32_t fold(uint32_t c) { return unicode::fold_case(c); }

inline uint32_t unit_at(const view& v, uint32_t i) { return string::get_char(v.base + i * v.unit, v.unit); }

// A rule's text from its head (a tag without its brackets).
struct text_ref {
  const uint8_t* p;
  uint32_t unit;
  uint32_t length;
  uint32_t at(uint32_t i) const { return string::get_char(p + i * unit, unit); }
};

text_ref text_of(const cell* rule) {
  series_buffer* s = memory::buffer_of(series::node_of(rule));
  uint32_t unit = s->unit();
  uint32_t tail = s->tail / unit;
  uint32_t head = series::index_of(rule) < tail ? series::index_of(rule) : tail;
  return {s->data() + head * unit, unit, tail - head};
}

bool is_text_rule(uint32_t t) { return is_any_string(t); }

// The characters a text rule matches in string input: the rule's text, or for a tag "<",
// its text and ">". Length in characters.
struct pattern {
  text_ref text;
  bool tag;
  uint32_t length() const { return text.length + (tag ? 2 : 0); }
  uint32_t at(uint32_t i) const {
    if (!tag) return text.at(i);
    if (i == 0) return '<';
    if (i == text.length + 1) return '>';
    return text.at(i - 1);
  }
};

pattern pattern_of(const cell* rule) { return {text_of(rule), type_of(rule) == type::tag}; }

// Whether the pattern's characters are at position i (they must fit below the end).
bool text_at(const view& in, uint32_t i, const pattern& p, bool fold_case) {
  uint32_t n = p.length();
  if (!fold_case && !p.tag && in.unit == p.text.unit)
    return std::memcmp(in.base + i * in.unit, p.text.p, size_t(n) * in.unit) == 0;
  for (uint32_t k = 0; k < n; ++k) {
    uint32_t a = unit_at(in, i + k), b = p.at(k);
    if (a != b && (!fold_case || fold(a) != fold(b))) return false;
  }
  return true;
}

// The first position from i whose character equals c (folded when asked), or `end`.
uint32_t scan_char(const view& in, uint32_t i, uint32_t end, uint32_t c, bool fold_case) {
  uint32_t f = fold_case ? fold(c) : c;
  bool caseless = !fold_case || (f == c && unicode::change_case_char(c, false) == c);
  if (in.unit == 1 && caseless) {
    if (c > 0xFF || i >= end) return end;
    const void* hit = std::memchr(in.base + i, int(c), end - i);
    return hit ? uint32_t(static_cast<const uint8_t*>(hit) - in.base) : end;
  }
  for (; i < end; ++i) {
    uint32_t a = unit_at(in, i);
    if (a == c || (fold_case && fold(a) == f)) return i;
  }
  return end;
}

// ---------------------------------------------------------------------------------------------
// Bytes: a text rule matches the UTF-8 of its characters.

std::string bytes_of(const cell* rule) {
  std::string out;
  pattern p = pattern_of(rule);
  uint32_t n = p.length();
  for (uint32_t k = 0; k < n; ++k) unicode::utf8_append(out, p.at(k));
  return out;
}

// The bytes a binary or text rule matches in binary input (a view on the rule's own bytes, or
// the UTF-8 of its text held in `scratch`).
bool rule_bytes(const cell* rule, std::string& scratch, const uint8_t*& p, uint32_t& n) {
  uint32_t t = type_of(rule);
  if (t == type::binary) {
    series_buffer* s = memory::buffer_of(series::node_of(rule));
    uint32_t used = s->used_bytes();
    uint32_t head = series::index_of(rule) < used ? series::index_of(rule) : used;
    p = s->head() + head;
    n = used - head;
    return true;
  }
  if (!is_text_rule(t)) return false;
  scratch = bytes_of(rule);
  p = reinterpret_cast<const uint8_t*>(scratch.data());
  n = uint32_t(scratch.size());
  return true;
}

// ---------------------------------------------------------------------------------------------
// Blocks: the value at a position against the rule, lit-words matching words of the spelling.

bool same_value(const engine& e, const cell* rule, uint32_t pos) {
  cell x = reinterpret_cast<const cell*>(view_of(e).base)[pos];  // compare may allocate
  uint32_t t = type_of(rule);
  if (t == type::lit_word || t == type::lit_path)
    return actions::compare(rule, &x, e.op == actions::op::strict_equal ? 10 : 11);
  return actions::compare(rule, &x, e.op);
}

bool type_fits(const cell* rule, uint32_t t) {
  return type_of(rule) == type::datatype_ ? datatype_type::id_of(rule) == t : typeset::has(rule, t);
}

// A value read by the lexer from the bytes at the position: its datatype and byte count.
bool scan_bytes(const view& in, uint32_t pos, uint32_t& t, uint32_t& length) {
  if (pos >= in.end) return false;
  std::string_view text(reinterpret_cast<const char*>(in.base) + pos, in.end - pos);
  lexer::scan_options options;
  options.one = true;
  options.scan = true;
  cell out;
  size_t read = lexer::scan_utf8(text, options, &out);
  if (type_of(&out) != type::datatype_ || read == 0) return false;
  t = datatype_type::id_of(&out);
  length = uint32_t(read);
  return true;
}

}  // namespace

bool match_literal(engine& e, const cell* rule, uint32_t& pos) {
  view in = view_of(e);
  uint32_t t = type_of(rule);
  if (pos >= in.end) {
    if (e.fam != family::text) return false;
    if (t != type::string && t != type::file && t != type::url) return false;
    return text_of(rule).length == 0;
  }
  bool fold_case = e.op != actions::op::strict_equal;
  switch (e.fam) {
    case family::block:
      if (!same_value(e, rule, pos)) return false;
      pos++;
      return true;
    case family::text: {
      if (t == type::char_) {
        uint32_t a = unit_at(in, pos), c = char_type::code_of(rule);
        if (a != c && (!fold_case || fold(a) != fold(c))) return false;
        pos++;
        return true;
      }
      if (t == type::bitset) {
        if (!bitset_has(rule, unit_at(in, pos))) return false;
        pos++;
        return true;
      }
      if (!is_text_rule(t)) return false;
      pattern p = pattern_of(rule);
      uint32_t n = p.length();
      if (n > in.end - pos || !text_at(in, pos, p, fold_case)) return false;
      pos += n;
      return true;
    }
    case family::bytes: {
      if (t == type::bitset) {
        if (!bitset_has(rule, in.base[pos])) return false;
        pos++;
        return true;
      }
      if (t == type::char_) {
        if (in.base[pos] != char_type::code_of(rule)) return false;
        pos++;
        return true;
      }
      std::string scratch;
      const uint8_t* p;
      uint32_t n;
      if (!rule_bytes(rule, scratch, p, n)) return false;
      in = view_of(e);
      if (n > in.end - pos || std::memcmp(in.base + pos, p, n) != 0) return false;
      pos += n;
      return true;
    }
  }
  return false;
}

bool match_type(engine& e, const cell* rule, uint32_t& pos) {
  view in = view_of(e);
  switch (e.fam) {
    case family::block: {
      if (pos >= in.end) return false;
      if (!type_fits(rule, type_of(reinterpret_cast<const cell*>(in.base) + pos))) return false;
      pos++;
      return true;
    }
    case family::text:
      fire(err::script_parse_unsupported);
    case family::bytes: {
      uint32_t t, n;
      if (!scan_bytes(in, pos, t, n) || !type_fits(rule, t)) return false;
      pos += n;
      return true;
    }
  }
  return false;
}

int32_t match_repeat(engine& e, const cell* rule, int32_t max, uint32_t& pos) {
  uint32_t limit = max < 0 ? UINT32_MAX : uint32_t(max);
  uint32_t t = type_of(rule);
  uint32_t n = 0;
  view in = view_of(e);
  bool fold_case = e.op != actions::op::strict_equal;
  // The hot loops: one character, byte or datatype at a time, nothing allocating.
  if (e.fam == family::text && t == type::char_) {
    uint32_t c = char_type::code_of(rule), f = fold(c);
    while (n < limit && pos < in.end) {
      uint32_t a = unit_at(in, pos);
      if (a != c && (!fold_case || fold(a) != f)) break;
      pos++, n++;
    }
    return int32_t(n);
  }
  if (e.fam != family::block && t == type::bitset) {
    while (n < limit && pos < in.end && bitset_has(rule, unit_at(in, pos))) pos++, n++;
    return int32_t(n);
  }
  if (e.fam == family::block && is_type_rule(t)) {
    const cell* cells = reinterpret_cast<const cell*>(in.base);
    while (n < limit && pos < in.end && type_fits(rule, type_of(cells + pos))) pos++, n++;
    return int32_t(n);
  }
  // Any other rule, one match at a time.
  while (n < limit) {
    uint32_t at = pos;
    bool ok = is_type_rule(t) ? match_type(e, rule, pos) : match_literal(e, rule, pos);
    if (!ok) break;
    n++;
    if (pos == at) break;  // matched nothing: it would match so for ever
  }
  return int32_t(n);
}

bool find_value(engine& e, const cell* rule, bool thru, uint32_t& pos) {
  view in = view_of(e);
  uint32_t t = type_of(rule);
  bool fold_case = e.op != actions::op::strict_equal;
  switch (e.fam) {
    case family::text: {
      if (is_type_rule(t)) fire(err::script_parse_unsupported);
      if (t == type::char_) {
        uint32_t i = scan_char(in, pos, in.end, char_type::code_of(rule), fold_case);
        if (i >= in.end) return false;
        pos = thru ? i + 1 : i;
        return true;
      }
      if (t == type::bitset) {
        for (uint32_t i = pos; i < in.end; ++i) {
          if (!bitset_has(rule, unit_at(in, i))) continue;
          pos = thru ? i + 1 : i;
          return true;
        }
        return false;
      }
      if (!is_text_rule(t)) return false;
      pattern p = pattern_of(rule);
      uint32_t n = p.length();
      if (pos > in.end || n > in.end - pos) return false;
      if (n == 0) return true;
      uint32_t last = in.end - n;  // the last position a match can start at
      for (uint32_t i = pos; i <= last; ++i) {
        i = scan_char(in, i, last + 1, p.at(0), fold_case);
        if (i > last) return false;
        if (text_at(in, i, p, fold_case)) {
          pos = thru ? i + n : i;
          return true;
        }
      }
      return false;
    }
    case family::bytes: {
      if (is_type_rule(t)) {
        for (uint32_t i = pos; i < in.end; ++i) {
          uint32_t found, n;
          if (!scan_bytes(view_of(e), i, found, n) || !type_fits(rule, found)) continue;
          pos = thru ? i + n : i;
          return true;
        }
        return false;
      }
      if (t == type::bitset || t == type::char_) {
        for (uint32_t i = pos; i < in.end; ++i) {
          uint8_t b = in.base[i];
          if (t == type::bitset ? !bitset_has(rule, b) : b != char_type::code_of(rule)) continue;
          pos = thru ? i + 1 : i;
          return true;
        }
        return false;
      }
      std::string scratch;
      const uint8_t* p;
      uint32_t n;
      if (!rule_bytes(rule, scratch, p, n)) return false;
      in = view_of(e);
      if (pos > in.end || n > in.end - pos) return false;
      if (n == 0) return true;
      const uint8_t* hay = in.base + pos;
      const void* hit = memmem(hay, in.end - pos, p, n);
      if (!hit) return false;
      uint32_t i = uint32_t(static_cast<const uint8_t*>(hit) - in.base);
      pos = thru ? i + n : i;
      return true;
    }
    case family::block: {
      for (uint32_t i = pos; i < view_of(e).end; ++i) {
        bool ok;
        if (is_type_rule(t)) {
          ok = type_fits(rule, type_of(reinterpret_cast<const cell*>(view_of(e).base) + i));
        } else {
          ok = same_value(e, rule, i);
        }
        if (!ok) continue;
        pos = thru ? i + 1 : i;
        return true;
      }
      return false;
    }
  }
  return false;
}

}  // namespace kaz::parse

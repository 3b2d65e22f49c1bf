// Molded text of strings: the escapes of one code point, the choice of delimiters, the balancing
// of braces, and hexadecimal digits.
#include <algorithm>

#include "core/string_storage.h"

namespace kaz::string {

namespace {

const char hex_chars[] = "0123456789ABCDEF";

// The caret escapes of code points 0-31 ("^@" ... "^_"): tab is "^-", line feed "^/".
const char control_escapes[] = "@ABCDEFGH-/KLMNOPQRSTUVWXYZ[\\]^_";

// The escape of c, written into buf; 0 when c is written as itself.
uint32_t escape_of(uint32_t c, int mode, bool all, char* buf) {
  if (c == 0x1E || (c >= 0x80 && c <= 0x9F) || (all && c > 0x7F) || refused_by_loader(c)) {
    hex_digits h = hex_int32(static_cast<int32_t>(c), true);
    buf[0] = '^';
    buf[1] = '(';
    std::copy(h.text, h.text + h.length, buf + 2);
    buf[2 + h.length] = ')';
    return 3 + h.length;
  }
  if (mode != escape::text) return 0;
  if (c < 32 || c == '"' || c == '^' || c == 0x7F) {
    buf[0] = '^';
    buf[1] = c < 32 ? control_escapes[c] : c == 0x7F ? '~' : static_cast<char>(c);
    return 2;
  }
  return 0;
}

// Writes one character or its escape at p; answers the units written.
uint32_t put_escaped(uint8_t* p, uint32_t unit, uint32_t c, int mode, bool all) {
  char buf[16];
  uint32_t n = escape_of(c, mode, all, buf);
  if (n == 0) {
    put_char(p, unit, c);
    return 1;
  }
  for (uint32_t i = 0; i < n; ++i) put_char(p + i * unit, unit, static_cast<uint8_t>(buf[i]));
  return n;
}

/*
 * Inside braces a "{" is written plain while the braces balance. The "{" at i balances when the
 * running count of "}" minus "{" after it reaches 1: scanning from the end, c(i) = max(0, c(i+1)
 * + 1 for "}" or - 1 for "{") is positive exactly then. The first "{" that does not balance ends
 * balancing: it and every later "{" get a caret. Answers its index (n when all balance).
 */
uint32_t first_unbalanced_brace(const text& t, uint32_t n) {
  uint32_t first = n;
  uint32_t unmatched = 0;
  for (uint32_t i = n; i-- > 0;) {
    uint32_t c = t.at(i);
    if (c == '}') {
      ++unmatched;
    } else if (c == '{') {
      if (unmatched == 0) first = i;
      else --unmatched;
    }
  }
  return first;
}

}  // namespace

void append_escaped_char(node_t out, uint32_t c, int mode, bool all) {
  char buf[16];
  uint32_t n = escape_of(c, mode, all, buf);
  if (n == 0) {
    append_code_point(out, c);
  } else {
    append_ascii(out, std::string_view(buf, n));
  }
}

void count_quotes_and_lines(const uint8_t* p, uint32_t n, uint32_t unit, uint32_t& quotes,
                            uint32_t& lines) {
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t c = get_char(p + size_t(i) * unit, unit);
    if (c == '"') ++quotes;
    if (c == '\n') ++lines;
  }
}

bool brace_closes_q(const uint8_t* p, uint32_t unit, uint32_t from, uint32_t end) {
  int64_t depth = 0;
  for (uint32_t i = from; i < end; ++i) {
    uint32_t c = get_char(p + size_t(i) * unit, unit);
    if (c == '{') {
      ++depth;
    } else if (c == '}') {
      if (depth == 1) return true;
      --depth;
    }
  }
  return false;
}

/*
 * Molding runs in two passes over the text: the first sizes the output (its length and the
 * widest character written as itself), so that the output grows and widens once; the second
 * writes it with no allocation in between, so the pointers into both buffers stay valid.
 */
int32_t mold_text(const cell* v, node_t out, bool all, cell* part, int32_t limit) {
  text t = text_of(v);
  uint32_t n = t.length;
  if (part && limit >= 0 && static_cast<uint32_t>(limit) < n) n = static_cast<uint32_t>(limit);
  uint32_t quotes = 0, lines = 0;
  count_quotes_and_lines(t.p, n, t.unit, quotes, lines);
  bool braces = lines >= 3 || quotes > 0 || t.length >= 50;
  uint32_t unbalanced = braces ? first_unbalanced_brace(t, n) : n;

  uint64_t size = 2;
  uint32_t widest = 0;
  char buf[16];
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t c = t.at(i);
    if (braces && (c == '{' || c == '}' || c == '"' || c == '^')) {
      size += c == '"' ? 1 : 2;  // plain braces are counted as escaped: an upper bound
      continue;
    }
    uint32_t k = escape_of(c, escape::text, all, buf);
    if (k == 0) widest = std::max(widest, c);
    size += k ? k : 1;
  }
  uint32_t unit = append_unit_for(widest);
  if (unit > memory::buffer_of(out)->unit()) widen(out, unit);
  unit = checked_unit(memory::buffer_of(out));
  series_buffer* o = ensure_room(out, size * unit);
  t = text_of(v);  // growing the output may have moved the text

  uint8_t* p = o->tail_rw();
  uint8_t* start = p;
  auto put_ascii = [&](char c) {
    put_char(p, unit, static_cast<uint8_t>(c));
    p += unit;
  };
  put_ascii(braces ? '{' : '"');
  uint32_t depth = 0;
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t c = t.at(i);
    if (braces) {
      if (c == '{') {
        if (i < unbalanced) {
          ++depth;
        } else {
          put_ascii('^');
        }
        put_ascii('{');
        continue;
      }
      if (c == '}') {
        if (depth > 0) {
          --depth;
        } else {
          put_ascii('^');
        }
        put_ascii('}');
        continue;
      }
      if (c == '"') {
        put_ascii('"');
        continue;
      }
    }
    p += size_t(put_escaped(p, unit, c, escape::text, all)) * unit;
  }
  put_ascii(braces ? '}' : '"');
  o->tail += static_cast<uint32_t>(p - start);
  return limit - static_cast<int32_t>(n) - 2;
}

hex_digits hex_byte(uint8_t b) {
  hex_digits h{};
  h.text[0] = hex_chars[b >> 4];
  h.text[1] = hex_chars[b & 15];
  h.length = 2;
  return h;
}

hex_digits hex_int32(int32_t value, bool trim) {
  hex_digits h{};
  uint32_t v = static_cast<uint32_t>(value);
  for (int i = 7; i >= 0; --i) {
    h.text[i] = hex_chars[v & 15];
    v >>= 4;
  }
  h.length = 8;
  if (!trim) return h;
  if (value == 0) return hex_digits{{'0', '0'}, 2};
  // Digits are written until the rest is 0 (or -1 for a negative value): the padding goes.
  char pad = value < 0 ? 'F' : '0';
  uint32_t start = 0;
  while (start < 7 && h.text[start] == pad) ++start;
  std::copy(h.text + start, h.text + 8, h.text);
  h.length = 8 - start;
  h.text[h.length] = 0;
  return h;
}

}  // namespace kaz::string

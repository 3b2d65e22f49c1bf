#include "loader/lexer_escapes.h"

#include <array>
#include <cstddef>

#include "memory/unicode_utf8.h"

namespace kaz::lexer {

namespace {

constexpr std::array<uint8_t, 256> build_hex() {
  std::array<uint8_t, 256> t{};
  for (auto& v : t) v = 255;
  for (int i = 0; i < 10; ++i) t['0' + i] = uint8_t(i);
  for (int i = 0; i < 6; ++i) {
    t['A' + i] = uint8_t(10 + i);
    t['a' + i] = uint8_t(10 + i);
  }
  return t;
}
constexpr std::array<uint8_t, 256> hex_table = build_hex();

// ^x for the characters with a meaning of their own; 0xFFFF for none.
constexpr std::array<uint16_t, 128> build_escapes() {
  std::array<uint16_t, 128> t{};
  for (auto& v : t) v = 0xFFFF;
  t['"'] = '"';
  t['-'] = '\t';
  t['/'] = '\n';
  t['@'] = 0;
  t['^'] = '^';
  t['{'] = '{';
  t['}'] = '}';
  t['~'] = 127;
  for (int c = 'a'; c <= 'z'; ++c) t[c] = uint16_t(c - 'a' + 1);
  for (int c = 'A'; c <= '_'; ++c)
    if (t[c] == 0xFFFF) t[c] = uint16_t(c - 64);
  return t;
}
constexpr std::array<uint16_t, 128> escape_table = build_escapes();

struct named_escape {
  const char* name;
  uint32_t cp;
};
constexpr named_escape names[] = {{"null", 0},  {"back", 8}, {"tab", 9},  {"line", 10},
                                  {"page", 12}, {"esc", 27}, {"del", 127}};

uint8_t lower(uint8_t b) { return b >= 'A' && b <= 'Z' ? uint8_t(b + 32) : b; }

// ^( ... ): hexadecimal digits (1 to 6) or a name, then ")".
const uint8_t* decode_paren(const uint8_t* p, const uint8_t* end, uint32_t& cp) {
  const uint8_t* close = p;
  while (close < end && *close != ')' && close - p <= 6) ++close;
  if (close >= end || *close != ')' || close == p) return nullptr;
  size_t n = size_t(close - p);
  if (n > 6) return nullptr;
  uint32_t value = 0;
  bool all_hex = true;
  for (const uint8_t* q = p; q < close; ++q) {
    uint8_t d = hex_table[*q];
    if (d == 255) {
      all_hex = false;
      break;
    }
    value = value * 16 + d;
  }
  if (all_hex) {
    if (value > 0x10FFFF) return nullptr;
    cp = value;
    return close + 1;
  }
  for (const named_escape& e : names) {
    size_t len = 0;
    while (e.name[len]) ++len;
    if (len != n) continue;
    size_t i = 0;
    while (i < n && lower(p[i]) == uint8_t(e.name[i])) ++i;
    if (i == n) {
      cp = e.cp;
      return close + 1;
    }
  }
  return nullptr;
}

}  // namespace

uint8_t hex_digit(uint8_t b) { return hex_table[b]; }

const uint8_t* decode_utf8(const uint8_t* p, const uint8_t* end, uint32_t& cp) {
  if (*p < 0x80) {
    cp = *p;
    return p + 1;
  }
  size_t used = 0;
  int32_t c = unicode::utf8_decode_char(p, size_t(end - p), used);
  if (c < 0 || used == 0) return nullptr;
  cp = uint32_t(c);
  return p + used;
}

const uint8_t* decode_escape(const uint8_t* p, const uint8_t* end, uint32_t& cp) {
  if (p >= end) return nullptr;
  if (*p == '(') return decode_paren(p + 1, end, cp);
  if (*p < 128 && escape_table[*p] != 0xFFFF) {
    cp = escape_table[*p];
    return p + 1;
  }
  return decode_utf8(p, end, cp);
}

}  // namespace kaz::lexer

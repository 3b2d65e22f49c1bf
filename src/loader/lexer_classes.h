// The lexer's byte classes: every input byte maps to one of 40 classes (the columns of the
// transition table) and to the token flags it contributes.
#pragma once

#include <array>
#include <cstdint>

namespace kaz::lexer {

// Byte classes, the columns of the transition table.
namespace cls {
enum : uint8_t {
  ws = 0,       // tab, CR, space
  lf = 1,       // line feed
  digit = 2,    // 1-9
  zero = 3,     // 0
  lbracket = 4,
  rbracket = 5,
  lparen = 6,
  rparen = 7,
  lbrace = 8,
  rbrace = 9,
  quote = 10,   // "
  hash = 11,
  apos = 12,    // '
  colon = 13,
  x = 14,       // x X
  T = 15,
  h = 16,
  e = 17,
  E = 18,
  hex_lower = 19,  // a b c d f
  hex_upper = 20,  // A B C D F
  slash = 21,
  backslash = 22,
  less = 23,
  greater = 24,
  equal = 25,
  percent = 26,
  comma = 27,
  semicolon = 28,
  at = 29,
  dot = 30,
  dollar = 31,
  plus = 32,
  minus = 33,
  caret = 34,
  control = 35,  // 01h-08h, 0Bh, 0Ch, 0Eh-1Fh
  high = 36,     // 7Fh and the continuation bytes 80h-BFh
  word = 37,     // word punctuation, the other letters and UTF-8 lead bytes C2h-F7h
  bad = 38,      // C0h, C1h, F8h-FFh: never valid in UTF-8
  nul = 39,      // NUL, and the end of the input
};
constexpr uint32_t count = 40;
}  // namespace cls

/*
 * Token flags: the class entries of every byte of a token are OR-ed together, so scanners and
 * loaders know without looking again whether a token holds an escape, a colon, an exponent
 * letter and so on. Bits 30-31 give the widest UTF-8 lead byte met: 1 for a 2- or 3-byte lead,
 * 2 for a 4-byte lead, from which string loaders pick their unit width.
 */
namespace flag {
constexpr uint32_t greater = 0x00080000;  // >
constexpr uint32_t less = 0x00100000;     // <
constexpr uint32_t percent = 0x00040000;  // %
constexpr uint32_t sign = 0x00200000;     // + or -
constexpr uint32_t nul = 0x00400000;      // NUL
constexpr uint32_t hash = 0x00800000;     // #
constexpr uint32_t exponent = 0x01000000; // e or E
constexpr uint32_t apos = 0x02000000;     // '
constexpr uint32_t colon = 0x04000000;    // :
constexpr uint32_t comma = 0x08000000;    // ,
constexpr uint32_t dot = 0x10000000;      // .
constexpr uint32_t caret = 0x20000000;    // ^ (an escape)
constexpr uint32_t lead2 = 0x40000000;    // a 2- or 3-byte UTF-8 lead byte
constexpr uint32_t lead4 = 0x80000000;    // a 4-byte UTF-8 lead byte
constexpr uint32_t class_mask = 0xFF;
}  // namespace flag

// The class table: low 8 bits the class, the rest the flags.
extern const std::array<uint32_t, 256> byte_classes;

inline uint8_t class_of(uint8_t b) { return static_cast<uint8_t>(byte_classes[b] & flag::class_mask); }

// The string unit width the lead bytes of a token call for: 1, 2 or 4.
inline uint32_t unit_for_flags(uint32_t flags) {
  uint32_t w = flags >> 30;
  return w == 0 ? 1 : w == 1 ? 2 : 4;
}

// Bytes that end a value when they follow it: whitespace, line feed, brackets, parens, braces,
// the double quote, the semicolon, control bytes and NUL (the end of the input).
bool is_delimiter_class(uint8_t c);

}  // namespace kaz::lexer

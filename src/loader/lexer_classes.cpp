#include "loader/lexer_classes.h"

namespace kaz::lexer {

namespace {

constexpr std::array<uint32_t, 256> build_classes() {
  std::array<uint32_t, 256> t{};
  // Everything starts as a word byte; the special bytes are set below.
  for (uint32_t b = 0; b < 256; ++b) t[b] = cls::word;
  for (uint32_t b = 0x01; b <= 0x1F; ++b) t[b] = cls::control;
  t[0x00] = cls::nul | flag::nul;
  t['\t'] = cls::ws;
  t['\r'] = cls::ws;
  t[' '] = cls::ws;
  t['\n'] = cls::lf;
  for (uint32_t b = '1'; b <= '9'; ++b) t[b] = cls::digit;
  t['0'] = cls::zero;
  t['['] = cls::lbracket;
  t[']'] = cls::rbracket;
  t['('] = cls::lparen;
  t[')'] = cls::rparen;
  t['{'] = cls::lbrace;
  t['}'] = cls::rbrace;
  t['"'] = cls::quote;
  t['#'] = cls::hash | flag::hash;
  t['\''] = cls::apos | flag::apos;
  t[':'] = cls::colon | flag::colon;
  t['x'] = cls::x;
  t['X'] = cls::x;
  t['T'] = cls::T;
  t['h'] = cls::h;
  t['e'] = cls::e | flag::exponent;
  t['E'] = cls::E | flag::exponent;
  for (char c : {'a', 'b', 'c', 'd', 'f'}) t[uint8_t(c)] = cls::hex_lower;
  for (char c : {'A', 'B', 'C', 'D', 'F'}) t[uint8_t(c)] = cls::hex_upper;
  t['/'] = cls::slash;
  t['\\'] = cls::backslash;
  t['<'] = cls::less | flag::less;
  t['>'] = cls::greater | flag::greater;
  t['='] = cls::equal;
  t['%'] = cls::percent | flag::percent;
  t[','] = cls::comma | flag::comma;
  t[';'] = cls::semicolon;
  t['@'] = cls::at;
  t['.'] = cls::dot | flag::dot;
  t['$'] = cls::dollar;
  t['+'] = cls::plus | flag::sign;
  t['-'] = cls::minus | flag::sign;
  t['^'] = cls::caret | flag::caret;
  t[0x7F] = cls::high;
  for (uint32_t b = 0x80; b <= 0xBF; ++b) t[b] = cls::high;
  t[0xC0] = cls::bad;
  t[0xC1] = cls::bad;
  for (uint32_t b = 0xC2; b <= 0xEF; ++b) t[b] = cls::word | flag::lead2;
  for (uint32_t b = 0xF0; b <= 0xF7; ++b) t[b] = cls::word | flag::lead4;
  for (uint32_t b = 0xF8; b <= 0xFF; ++b) t[b] = cls::bad;
  return t;
}

}  // namespace

const std::array<uint32_t, 256> byte_classes = build_classes();

bool is_delimiter_class(uint8_t c) {
  switch (c) {
    case cls::ws:
    case cls::lf:
    case cls::lbracket:
    case cls::rbracket:
    case cls::lparen:
    case cls::rparen:
    case cls::lbrace:
    case cls::rbrace:
    case cls::quote:
    case cls::semicolon:
    case cls::control:
    case cls::nul:
      return true;
    default:
      return false;
  }
}

}  // namespace kaz::lexer

// Encoding one code point as UTF-8: the one piece of Unicode the print primitives need.
#pragma once

#include <cstdint>
#include <string>

namespace kaz::unicode {

// The largest code point; anything above is not a character.
constexpr uint32_t max_code_point = 0x10FFFF;

// Bytes needed for cp (1 to 4). Above 10FFFFh raises script invalid-char.
uint32_t utf8_encoded_length(uint32_t cp);

// Writes cp at dst and answers the bytes written (1 to 4). Above 10FFFFh raises invalid-char.
uint32_t utf8_append_encoded(uint32_t cp, uint8_t* dst);

// Appends cp (at most 10FFFFh) to UTF-8 text being built in a std::string.
inline void utf8_append(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

}  // namespace kaz::unicode

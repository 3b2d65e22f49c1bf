// Encoding one code point as UTF-8: the one piece of Unicode the print primitives need.
#pragma once

#include <cstdint>

namespace kaz::unicode {

// The largest code point; anything above is not a character.
constexpr uint32_t max_code_point = 0x10FFFF;

// Bytes needed for cp (1 to 4). Above 10FFFFh raises script invalid-char.
uint32_t utf8_encoded_length(uint32_t cp);

// Writes cp at dst and answers the bytes written (1 to 4). Above 10FFFFh raises invalid-char.
uint32_t utf8_append_encoded(uint32_t cp, uint8_t* dst);

}  // namespace kaz::unicode

// Escapes in text tokens: ^x, ^(hex) and ^(name); and the %XX escapes of files and urls.
#pragma once

#include <cstdint>

namespace kaz::lexer {

/*
 * Decodes the escape after a "^" at p (p < end). Answers the position after it and the code
 * point in `cp`, or null when the escape is invalid (a bad ^(...) form or a code point above
 * 10FFFFh). A character after "^" that the escape table does not name stands for itself; it is
 * decoded as UTF-8 (null when malformed).
 */
const uint8_t* decode_escape(const uint8_t* p, const uint8_t* end, uint32_t& cp);

// Decodes one UTF-8 character at p (p < end): the position after it and the code point, or
// null when the bytes are not well-formed UTF-8.
const uint8_t* decode_utf8(const uint8_t* p, const uint8_t* end, uint32_t& cp);

// The value of a hexadecimal digit, or 255.
uint8_t hex_digit(uint8_t b);

}  // namespace kaz::lexer

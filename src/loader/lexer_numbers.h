// Number syntax shared by the lexer's loaders and the conversions from text: pure functions over
// a byte range that answer whether the text is valid and what it means.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::lexer {

// Longest text the float syntax accepts.
constexpr uint32_t max_float_text = 312;

enum class int_result : uint8_t {
  ok,
  too_big,    // well-formed, but more than 32 bits (the lexer loads a float!)
  invalid,
  no_digits,  // no digit at all
};

// Optional sign, decimal digits with single "'" separators between them. "-2147483648" fits.
int_result parse_integer(const uint8_t* p, const uint8_t* end, int32_t& out);

// The float syntax: digits with an optional point and fraction, an optional exponent, "'"
// separators; any number of leading signs. At most 312 bytes.
bool float_syntax(const uint8_t* p, const uint8_t* end);

// Text to double: "," counts as the decimal point, "'" separators are dropped, the syntax is
// checked. `exponent_adjustment` is -2 for percents.
bool parse_float(const uint8_t* p, const uint8_t* end, int32_t exponent_adjustment, double& out);

// Optional sign, "1.#", then NAN or INF in any case.
bool parse_special_float(const uint8_t* p, const uint8_t* end, double& out);

// Two to eight digits 0-9 A-F before the "h" (not included in the range).
bool parse_hex_integer(const uint8_t* p, const uint8_t* end, int32_t& out);

// Three to twelve components 0-255 separated by single points.
bool parse_tuple(const uint8_t* p, const uint8_t* end, cell& out);

// Two integers separated by x or X, no point.
bool parse_pair(const uint8_t* p, const uint8_t* end, cell& out);

// [sign] hours ":" minutes [":" seconds [("." | ",") fraction]], or [sign] minutes ":" seconds
// ("." | ",") fraction. Answers the seconds.
bool parse_time(const uint8_t* p, const uint8_t* end, double& seconds);

// [sign] [3-letter currency] "$" digits ["." | "," decimals], within the 17 integer and 5
// fraction digits of money!.
bool parse_money(const uint8_t* p, const uint8_t* end, cell& out);

// A date token (all the written forms); the cell on success.
bool parse_date(const uint8_t* p, const uint8_t* end, cell& out);

}  // namespace kaz::lexer

// Float to text and text to float: the decimal forms of doubles that float!, percent!, time!,
// money!, vectors and points show, and the reader the lexer uses for number tokens.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace kaz {

// Room for every text the writers below produce, its terminating NUL included.
inline constexpr std::size_t float_text_size = 40;
using float_text_out = std::span<char, float_text_size>;

namespace sysrt {

// Decimal point positions that mark the special values in `float_digits::decpt`.
inline constexpr int32_t decpt_special = 9999;  // an infinity or NaN
inline constexpr int32_t decpt_zero = 9998;     // positive or negative zero

// The decimal digits of a double: value = 0.d1 d2 ... x 10^decpt, no trailing zeros.
struct float_digits {
  char digits[20];  // the digits, NUL-terminated; for the special values their whole text
  int32_t count;    // number of digits (or characters of the special text)
  int32_t decpt;
  bool negative;    // the sign bit
};

// Correctly rounded digits of `value`. A precision of 0 or less asks for the shortest digits that
// read back to the same double; a positive one caps the digit count (the shortest digits when they
// are no more, else the value rounded to that many digits, ties to even). The special values get
// "1.#INF", "-1.#INF", "1.#NaN", and for zero "0"/"-0", or "0.0"/"-0.0" under `keep_zero`.
float_digits float_to_digits(double value, int32_t precision, bool keep_zero);

// The language's text of a double: fixed notation when -6 <= decpt <= 17, else one digit, ".",
// the others and "e" with the exponent (a "-" when negative, never a "+"). A text that would end
// in "." gets "0" under `keep_zero`, else loses the ".". Answers the length; the text is
// NUL-terminated.
std::size_t form_float(float_text_out out, double value, int32_t precision, bool keep_zero);

// What `text_to_float` read: the double, and the number of bytes left unread at the end
// (0 when the whole text was a number; the whole length when it held no number at all).
struct float_scan {
  double value;
  std::size_t rest;
};

// Reads one number token: an optional sign, digits with an optional "." and fraction, an
// optional exponent ("e" or "E", optional sign, at least one digit), or the special texts
// "1.#INF" and "1.#NaN" (any nonzero digit, letters in any case). `exponent_adjustment` is added
// to the decimal exponent (-2 for percents). The result is correctly rounded; overflow gives an
// infinity and underflow zero. The sign is applied last as 0.0 - magnitude, so a negative text
// that reads as zero gives +0.0; infinities keep their sign; NaN is always the positive quiet NaN.
float_scan text_to_float(std::string_view text, int32_t exponent_adjustment);

}  // namespace sysrt

namespace float_ {

// The kinds of text `to_cstring` writes (the numbers are those its callers pass).
enum class text_kind : uint8_t {
  vector32 = 0,   // a 32-bit vector element: 7 significant digits
  float64 = 1,    // float! formed: 16 significant digits
  percent32 = 2,  // a 32-bit percent element (value x 100): 7 digits and "%"
  percent64 = 3,  // percent! (value x 100): 13 digits and "%"
  seconds = 4,    // time! seconds: at most 6 digits
  point = 5,      // a point coordinate: 7 digits
};

// The text of a number of the given kind. With `pretty`, magnitudes below the double epsilon
// read as zero and 16-digit binary noise ending in 01 or 99 is cut to 14 digits (5 for the short
// kinds). Infinities and NaN give "1.#INF", "-1.#INF" and "1.#NaN" for every kind. Answers the
// length; the text is NUL-terminated.
std::size_t to_cstring(float_text_out out, double value, text_kind kind, bool pretty);

}  // namespace float_
}  // namespace kaz

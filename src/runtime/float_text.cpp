// Float to text and text to float over std::to_chars / std::from_chars, which give correctly
// rounded shortest digits and correctly rounded reading; the code here only lays out the
// system's own forms, special texts and sign rules.
#include "runtime/float_text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace kaz {
namespace {

std::size_t put_text(char* out, const char* text) {
  std::size_t n = std::strlen(text);
  std::memcpy(out, text, n + 1);
  return n;
}

const char* special_text(double value) {
  if (std::isnan(value)) return "1.#NaN";
  return std::signbit(value) ? "-1.#INF" : "1.#INF";
}

// Takes the digits and exponent out of to_chars' scientific text "d[.ddd]e[+-]xx".
void read_scientific(const char* text, const char* end, sysrt::float_digits& d) {
  int32_t count = 0;
  const char* p = text;
  for (; p < end && *p != 'e'; ++p)
    if (*p != '.') d.digits[count++] = *p;
  int32_t exponent = 0;
  std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
  while (count > 1 && d.digits[count - 1] == '0') --count;
  d.digits[count] = '\0';
  d.count = count;
  d.decpt = exponent + 1;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

}  // namespace

namespace sysrt {

float_digits float_to_digits(double value, int32_t precision, bool keep_zero) {
  float_digits d{};
  d.negative = std::signbit(value);
  if (!std::isfinite(value) || value == 0) {
    const char* text = !std::isfinite(value) ? special_text(value)
                       : keep_zero           ? (d.negative ? "-0.0" : "0.0")
                                             : (d.negative ? "-0" : "0");
    d.count = int32_t(put_text(d.digits, text));
    d.decpt = std::isfinite(value) ? decpt_zero : decpt_special;
    return d;
  }
  char text[40];
  double magnitude = std::fabs(value);
  auto r = std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific);
  read_scientific(text, r.ptr, d);
  if (precision > 0 && d.count > precision) {
    r = std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific,
                      precision - 1);
    read_scientific(text, r.ptr, d);
  }
  return d;
}

std::size_t form_float(float_text_out out, double value, int32_t precision, bool keep_zero) {
  float_digits d = float_to_digits(value, precision, keep_zero);
  char* o = out.data();
  if (d.decpt >= decpt_zero) return put_text(o, d.digits);

  std::size_t n = 0;
  if (d.negative) o[n++] = '-';
  bool exponent_form = d.decpt > 17 || d.decpt < -6;
  if (exponent_form) {
    o[n++] = d.digits[0];
    o[n++] = '.';
    for (int32_t i = 1; i < d.count; ++i) o[n++] = d.digits[i];
  } else if (d.decpt <= 0) {
    o[n++] = '0';
    o[n++] = '.';
    for (int32_t i = d.decpt; i < 0; ++i) o[n++] = '0';
    for (int32_t i = 0; i < d.count; ++i) o[n++] = d.digits[i];
  } else {
    for (int32_t i = 0; i < d.decpt; ++i) o[n++] = i < d.count ? d.digits[i] : '0';
    o[n++] = '.';
    for (int32_t i = d.decpt; i < d.count; ++i) o[n++] = d.digits[i];
  }
  if (o[n - 1] == '.') {
    if (keep_zero)
      o[n++] = '0';
    else
      --n;
  }
  if (exponent_form) {
    o[n++] = 'e';
    n = std::size_t(std::to_chars(o + n, o + float_text_size - 1, d.decpt - 1).ptr - o);
  }
  o[n] = '\0';
  return n;
}

/*
 * The token is taken apart here, so that the exponent adjustment, the saturating exponent and the
 * sign rule stay ours, and handed to from_chars as "0.<digits>e<exponent>". Only the first
 * `max_digits` significant digits are kept; a nonzero digit beyond them is stood for by one "1"
 * after them. That never changes the rounding: every double, every halfway point between two
 * doubles and the overflow threshold has at most 767 significant digits, so none lies strictly
 * between the cut text and the full one.
 */
float_scan text_to_float(std::string_view text, int32_t exponent_adjustment) {
  constexpr std::size_t max_digits = 800;
  const char* s = text.data();
  const std::size_t n = text.size();
  std::size_t p = 0;

  bool negative = false;
  if (p < n && (s[p] == '+' || s[p] == '-')) negative = s[p++] == '-';
  const std::size_t digits_start = p;
  while (p < n && s[p] == '0') ++p;

  // "1.#INF" and "1.#NaN": one nonzero digit, ".", "#" and the word in any case.
  if (n - p >= 6 && s[p] >= '1' && s[p] <= '9' && s[p + 1] == '.' && s[p + 2] == '#') {
    char word[3] = {lower(s[p + 3]), lower(s[p + 4]), lower(s[p + 5])};
    if (std::memcmp(word, "inf", 3) == 0) {
      double inf = std::numeric_limits<double>::infinity();
      return {negative ? -inf : inf, n - (p + 6)};
    }
    if (std::memcmp(word, "nan", 3) == 0)
      return {std::numeric_limits<double>::quiet_NaN(), n - (p + 6)};
  }

  char buf[max_digits + 32] = {'0', '.'};
  std::size_t len = 2;        // used bytes of buf
  std::size_t kept = 0;       // significant digits in buf
  bool dropped_nonzero = false;
  bool any_digit = p > digits_start;
  int64_t decpt = 0;          // value = 0.<digits> x 10^decpt
  auto keep_digit = [&](char c) {
    if (kept < max_digits) {
      buf[len++] = c;
      ++kept;
    } else if (c != '0') {
      dropped_nonzero = true;
    }
  };
  for (; p < n && is_digit(s[p]); ++p) {
    any_digit = true;
    keep_digit(s[p]);
    ++decpt;
  }
  if (p < n && s[p] == '.') {
    ++p;
    for (; p < n && is_digit(s[p]); ++p) {
      any_digit = true;
      if (kept == 0 && s[p] == '0')
        --decpt;
      else
        keep_digit(s[p]);
    }
  }
  if (!any_digit) return {0.0, n};

  // The exponent needs a digit; its value saturates far beyond the double range.
  int64_t exponent = 0;
  if (p < n && (s[p] == 'e' || s[p] == 'E')) {
    std::size_t q = p + 1;
    bool exponent_negative = false;
    if (q < n && (s[q] == '+' || s[q] == '-')) exponent_negative = s[q++] == '-';
    if (q < n && is_digit(s[q])) {
      for (; q < n && is_digit(s[q]); ++q)
        if (exponent < 1'000'000'000) exponent = exponent * 10 + (s[q] - '0');
      if (exponent_negative) exponent = -exponent;
      p = q;
    }
  }
  const std::size_t rest = n - p;

  if (dropped_nonzero) {
    buf[len++] = '1';
  } else {
    while (kept > 0 && buf[len - 1] == '0') --len, --kept;
  }
  if (kept == 0) return {0.0, rest};

  decpt += exponent + exponent_adjustment;
  double magnitude;
  if (decpt > 400) {
    magnitude = std::numeric_limits<double>::infinity();
  } else if (decpt < -400) {
    magnitude = 0.0;
  } else {
    buf[len++] = 'e';
    len = std::size_t(std::to_chars(buf + len, buf + sizeof buf, decpt).ptr - buf);
    auto r = std::from_chars(buf, buf + len, magnitude);
    if (r.ec == std::errc::result_out_of_range)
      magnitude = decpt > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return {negative ? 0.0 - magnitude : magnitude, rest};
}

}  // namespace sysrt

namespace float_ {
namespace {

bool percent_kind(text_kind kind) {
  return kind == text_kind::percent32 || kind == text_kind::percent64;
}

// The significant digits of each kind's first and of its noise-cutting second formatting.
int digits_of(text_kind kind, bool second) {
  switch (kind) {
    case text_kind::float64: return second ? 14 : 16;
    case text_kind::percent64: return second ? 14 : 13;
    case text_kind::percent32: return second ? 14 : 7;
    default: return second ? 5 : 7;
  }
}

// printf's "%.<digits>g", exponents as "e+20" and "e-05".
std::size_t format_general(char* out, double value, int digits) {
  auto r = std::to_chars(out, out + float_text_size - 8, value, std::chars_format::general, digits);
  return std::size_t(r.ptr - out);
}

// A long 16-digit text ending in 01 or 99 is binary noise (0.1 * 3, 2.675 * 3).
bool noisy(const char* t, std::size_t n) {
  const char* e = static_cast<const char*>(std::memchr(t, 'e', n));
  std::size_t mantissa = e ? std::size_t(e - t) : n;
  std::size_t first = t[0] == '-' ? 1 : 0;  // the sign is no digit
  if (e) {
    if (mantissa - first <= 16) return false;
  } else {
    if (n - first <= (t[first] == '0' ? 17u : 16u)) return false;
  }
  if (mantissa < 2) return false;
  char a = t[mantissa - 2], b = t[mantissa - 1];
  return (a == '0' && b == '1') || (a == '9' && b == '9');
}

}  // namespace

std::size_t to_cstring(float_text_out out, double value, text_kind kind, bool pretty) {
  char* o = out.data();
  if (!std::isfinite(value)) return put_text(o, special_text(value));
  if (pretty && std::fabs(value) < 2.220446049250313e-16)
    return put_text(o, percent_kind(kind) ? "0%" : kind == text_kind::point ? "0" : "0.0");

  std::size_t n = kind == text_kind::seconds ? sysrt::form_float(out, value, 6, false)
                                             : format_general(o, value, digits_of(kind, false));
  if (pretty && noisy(o, n)) n = format_general(o, value, digits_of(kind, true));

  // The exponent loses its "+" and its leading zeros: 1e+20 is 1e20, 1e-05 is 1e-5.
  if (char* e = static_cast<char*>(std::memchr(o, 'e', n))) {
    char* from = e + 1;
    char* to = e + 1;
    if (*from == '+') ++from;
    else if (*from == '-') *to++ = *from++;
    while (from + 1 < o + n && *from == '0') ++from;
    while (from < o + n) *to++ = *from++;
    n = std::size_t(to - o);
  }
  if (percent_kind(kind)) {
    o[n++] = '%';
  } else if ((kind == text_kind::vector32 || kind == text_kind::float64) &&
             !std::memchr(o, '.', n)) {
    // A whole number shows ".0", before the exponent when there is one: 42.0, 1.0e20.
    char* e = static_cast<char*>(std::memchr(o, 'e', n));
    std::size_t at = e ? std::size_t(e - o) : n;
    std::memmove(o + at + 2, o + at, n - at);
    o[at] = '.';
    o[at + 1] = '0';
    n += 2;
  }
  o[n] = '\0';
  return n;
}

}  // namespace float_
}  // namespace kaz

#include <cstddef>
#include "loader/lexer_numbers.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

#include "datatypes/money.h"
#include "datatypes/tuple.h"
#include "loader/lexer_cells.h"
#include "runtime/float_text.h"

namespace kaz::lexer {

namespace {

bool is_digit(uint8_t b) { return b >= '0' && b <= '9'; }
bool is_letter(uint8_t b) { return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'); }

// Reads a run of decimal digits as a double (exact up to 2^53); answers the end of the run.
const uint8_t* read_digits(const uint8_t* p, const uint8_t* end, double& v) {
  v = 0;
  while (p < end && is_digit(*p)) v = v * 10 + (*p++ - '0');
  return p;
}

}  // namespace

int_result parse_integer(const uint8_t* p, const uint8_t* end, int32_t& out) {
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  uint64_t v = 0;
  uint32_t significant = 0;
  bool any = false, after_apos = false;
  for (; p < end; ++p) {
    if (*p == '\'') {
      if (after_apos || !any) return int_result::invalid;
      after_apos = true;
      continue;
    }
    if (!is_digit(*p)) return int_result::invalid;
    after_apos = false;
    any = true;
    if (v == 0 && *p == '0') continue;
    if (++significant <= 10) v = v * 10 + uint64_t(*p - '0');
  }
  if (!any) return int_result::no_digits;
  if (significant > 10 || v > (negative ? 2147483648ull : 2147483647ull)) return int_result::too_big;
  out = negative ? int32_t(-int64_t(v)) : int32_t(v);
  return int_result::ok;
}

/*
 * The float syntax automaton. Columns: other, sign, digit, exponent letter, point, apostrophe;
 * the end of the text accepts in the states marked below. 9 = reject.
 */
bool float_syntax(const uint8_t* p, const uint8_t* end) {
  static const uint8_t next[9][6] = {
      {9, 0, 1, 9, 4, 9},  // F0 start
      {9, 9, 1, 6, 5, 2},  // F1 integer digits
      {9, 9, 1, 9, 9, 9},  // F2 after apostrophe
      {9, 9, 3, 6, 9, 4},  // F3 fraction digits
      {9, 9, 3, 9, 9, 9},  // F4 after leading point or fraction apostrophe
      {9, 9, 3, 9, 9, 9},  // F5 after digits and point
      {9, 7, 8, 9, 9, 9},  // F6 after exponent letter
      {9, 9, 8, 9, 9, 9},  // F7 after exponent sign
      {9, 9, 8, 9, 9, 9},  // F8 exponent digits
  };
  static const bool accepts[9] = {false, true, true, true, true, true, false, false, true};
  if (end - p > std::ptrdiff_t(max_float_text)) return false;
  uint8_t st = 0;
  for (; p < end; ++p) {
    uint8_t b = *p;
    uint32_t kind = b == '+' || b == '-'   ? 1
                    : is_digit(b)          ? 2
                    : b == 'e' || b == 'E' ? 3
                    : b == '.'             ? 4
                    : b == '\''            ? 5
                                           : 0;
    st = next[st][kind];
    if (st == 9) return false;
  }
  return accepts[st];
}

bool parse_float(const uint8_t* p, const uint8_t* end, int32_t exponent_adjustment, double& out) {
  if (end - p > std::ptrdiff_t(max_float_text) || p == end) return false;
  uint8_t text[max_float_text] = {};
  size_t n = 0;
  for (const uint8_t* q = p; q < end; ++q) text[n++] = *q == ',' ? uint8_t('.') : *q;
  if (!float_syntax(text, text + n)) return false;
  // More than one leading sign would not convert: refuse it rather than read a wrong value.
  if (n >= 2 && (text[0] == '+' || text[0] == '-') && (text[1] == '+' || text[1] == '-'))
    return false;
  size_t k = 0;
  for (size_t i = 0; i < n; ++i)
    if (text[i] != '\'') text[k++] = text[i];
  sysrt::float_scan r =
      sysrt::text_to_float(std::string_view(reinterpret_cast<const char*>(text), k),
                           exponent_adjustment);
  out = r.value;
  return true;
}

bool parse_special_float(const uint8_t* p, const uint8_t* end, double& out) {
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  if (end - p != 6 || p[0] != '1' || p[1] != '.' || p[2] != '#') return false;
  char w[3];
  for (int i = 0; i < 3; ++i) {
    uint8_t b = p[3 + i];
    w[i] = char(b >= 'A' && b <= 'Z' ? b + 32 : b);
  }
  if (w[0] == 'n' && w[1] == 'a' && w[2] == 'n') {
    uint64_t bits = 0x7FF8000000000000ull;
    std::memcpy(&out, &bits, sizeof out);
    return true;
  }
  if (w[0] == 'i' && w[1] == 'n' && w[2] == 'f') {
    out = negative ? -std::numeric_limits<double>::infinity()
                   : std::numeric_limits<double>::infinity();
    return true;
  }
  return false;
}

bool parse_hex_integer(const uint8_t* p, const uint8_t* end, int32_t& out) {
  std::ptrdiff_t n = end - p;
  if (n < 2 || n > 8) return false;
  uint32_t v = 0;
  for (; p < end; ++p) {
    uint8_t b = *p;
    uint32_t d = is_digit(b) ? uint32_t(b - '0') : (b >= 'A' && b <= 'F') ? uint32_t(b - 'A' + 10)
                                                                         : 16u;
    if (d > 15) return false;
    v = v * 16 + d;
  }
  out = int32_t(v);
  return true;
}

bool parse_tuple(const uint8_t* p, const uint8_t* end, cell& out) {
  uint8_t bytes[12];
  uint32_t count = 0;
  while (true) {
    if (p >= end || !is_digit(*p)) return false;  // empty component
    uint32_t v = 0;
    while (p < end && is_digit(*p)) {
      v = v * 10 + uint32_t(*p++ - '0');
      if (v > 255) return false;
    }
    if (count == 12) return false;
    bytes[count++] = uint8_t(v);
    if (p == end) break;
    if (*p++ != '.') return false;
  }
  if (count < 3) return false;
  tuple_type::init_cell(&out, bytes, count);
  return true;
}

bool parse_pair(const uint8_t* p, const uint8_t* end, cell& out) {
  if (std::memchr(p, '.', size_t(end - p))) return false;
  const uint8_t* x = p + 1;
  while (x < end && *x != 'x' && *x != 'X') ++x;
  if (x >= end) return false;
  int32_t a, b;
  if (parse_integer(p, x, a) != int_result::ok) return false;
  if (parse_integer(x + 1, end, b) != int_result::ok) return false;
  out = pair_cell(a, b);
  return true;
}

bool parse_time(const uint8_t* p, const uint8_t* end, double& seconds) {
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  double a, b;
  const uint8_t* q = read_digits(p, end, a);
  if (q == p || q >= end || *q != ':') return false;
  const uint8_t* r = read_digits(q + 1, end, b);
  if (r == q + 1) return false;
  if (r == end) {
    seconds = a * 3600 + b * 60;
  } else if (*r == '.' || *r == ',') {
    // minutes:seconds.fraction
    for (const uint8_t* f = r + 1; f < end; ++f)
      if (!is_digit(*f)) return false;
    double s;
    if (!parse_float(q + 1, end, 0, s)) return false;
    seconds = a * 60 + s;
  } else if (*r == ':') {
    double c;
    const uint8_t* t = read_digits(r + 1, end, c);
    if (t == r + 1) return false;  // a trailing ":" or no seconds
    if (t < end) {
      if (*t != '.' && *t != ',') return false;
      for (const uint8_t* f = t + 1; f < end; ++f)
        if (!is_digit(*f)) return false;
      if (!parse_float(r + 1, end, 0, c)) return false;
    }
    seconds = a * 3600 + b * 60 + c;
  } else {
    return false;
  }
  if (negative) seconds = -seconds;
  return true;
}

/*
 * Money text. A "'" separator stands only between two digits. Leading zeros are skipped; the
 * amount must fit the 17 integer and 5 fraction digits of the cell.
 */
bool parse_money(const uint8_t* p, const uint8_t* end, cell& out) {
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  const uint8_t* dollar = p;
  while (dollar < end && *dollar != '$') ++dollar;
  if (dollar >= end) return false;
  uint32_t currency = 0;
  if (dollar != p) {
    if (dollar - p != 3) return false;
    for (const uint8_t* c = p; c < dollar; ++c)
      if (!is_letter(*c)) return false;
    int32_t index =
        money_type::currency_index(std::string_view(reinterpret_cast<const char*>(p), 3));
    if (index < 1 || index > 255) return false;
    currency = uint32_t(index);
  }
  uint8_t integer[17], fraction[5];
  uint32_t n_int = 0, n_frac = 0;
  bool in_fraction = false, any = false;
  for (const uint8_t* q = dollar + 1; q < end; ++q) {
    uint8_t b = *q;
    if (b == '\'') {
      if (q + 1 >= end || !is_digit(q[-1]) || !is_digit(q[1])) return false;
      continue;
    }
    if (b == '.' || b == ',') {
      if (in_fraction || !any) return false;
      in_fraction = true;
      continue;
    }
    if (!is_digit(b)) return false;
    any = true;
    if (in_fraction) {
      if (n_frac == 5) return false;
      fraction[n_frac++] = uint8_t(b - '0');
    } else if (n_int > 0 || b != '0') {
      if (n_int == 17) return false;
      integer[n_int++] = uint8_t(b - '0');
    }
  }
  if (!any) return false;
  uint8_t digits[money_type::digit_count] = {};
  for (uint32_t i = 0; i < n_int; ++i) digits[17 - n_int + i] = integer[i];
  for (uint32_t i = 0; i < n_frac; ++i) digits[17 + i] = fraction[i];
  money_type::init_cell(&out, negative, currency, digits);
  return true;
}

}  // namespace kaz::lexer

#include "loader/lexer_number_helpers.h"

#include <limits>

#include "core/string_storage.h"
#include "loader/lexer_numbers.h"

namespace kaz::lexer {

namespace {

// Number text is short and ASCII: the units are narrowed into a byte buffer, or refused.
struct ascii_text {
  uint8_t bytes[max_float_text];
  uint32_t size = 0;
  bool ok = false;

  ascii_text(const uint8_t* units, uint32_t count, uint32_t unit) {
    if (count > max_float_text) return;
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t c = string::get_char(units + size_t(i) * unit, unit);
      if (c == 0 || c >= 0x80) return;
      bytes[i] = uint8_t(c);
    }
    size = count;
    ok = true;
  }
  const uint8_t* begin() const { return bytes; }
  const uint8_t* end() const { return bytes + size; }
};

}  // namespace

int32_t scan_integer(const uint8_t* units, uint32_t count, uint32_t unit, int32_t& error) {
  ascii_text t(units, count, unit);
  int32_t v = 0;
  if (!t.ok) {
    error = scan_invalid;
    return 0;
  }
  switch (parse_integer(t.begin(), t.end(), v)) {
    case int_result::ok:
      error = 0;
      return v;
    case int_result::no_digits:
      error = scan_no_digits;
      return 0;
    default:
      error = scan_invalid;
      return 0;
  }
}

double text_to_float(const uint8_t* units, uint32_t count, uint32_t unit, int32_t& error) {
  ascii_text t(units, count, unit);
  double v;
  if (t.ok && parse_float(t.begin(), t.end(), 0, v)) {
    error = 0;
    return v;
  }
  error = count == 0 ? scan_no_digits : scan_invalid;
  return std::numeric_limits<double>::quiet_NaN();
}

bool scan_tuple(const uint8_t* units, uint32_t count, uint32_t unit, cell* out) {
  ascii_text t(units, count, unit);
  return t.ok && parse_tuple(t.begin(), t.end(), *out);
}

bool text_to_money(const uint8_t* units, uint32_t count, uint32_t unit, cell* out) {
  ascii_text t(units, count, unit);
  return t.ok && parse_money(t.begin(), t.end(), *out);
}

}  // namespace kaz::lexer

#include "memory/unicode_utf16.h"

#include "memory/unicode_units.h"

namespace kaz::unicode {

namespace {

inline uint32_t unit16_at(const uint8_t* src, size_t i) {
  return static_cast<uint32_t>(src[2 * i]) | (static_cast<uint32_t>(src[2 * i + 1]) << 8);
}
inline bool high_surrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool low_surrogate(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Reads the code point at unit i and advances i past it.
inline uint32_t next_code_point(const uint8_t* src, size_t count, size_t& i) {
  uint32_t u = unit16_at(src, i++);
  if (high_surrogate(u) && i < count) {
    uint32_t v = unit16_at(src, i);
    if (low_surrogate(v)) {
      ++i;
      return 0x10000 + ((u & 0x3FF) << 10) + (v & 0x3FF);
    }
  }
  return u;
}

}  // namespace

uint32_t utf16_encode_char(uint32_t cp, uint16_t* dst) {
  if (cp <= 0xFFFF) {
    dst[0] = static_cast<uint16_t>(cp);
    return 1;
  }
  if (cp > max_code_point) return 0;
  dst[0] = static_cast<uint16_t>(0xD800 + ((cp - 0x10000) >> 10));
  dst[1] = static_cast<uint16_t>(0xDC00 + (cp & 0x3FF));
  return 2;
}

utf16_scan_result utf16_scan(const uint8_t* src, size_t count, bool drop_cr) {
  utf16_scan_result r{0, 0};
  size_t i = 0;
  while (i < count) {
    uint32_t cp = next_code_point(src, count, i);
    if (drop_cr && cp == '\r') continue;
    if (cp > r.max_cp) r.max_cp = cp;
    ++r.code_points;
  }
  return r;
}

size_t utf16_decode_units(const uint8_t* src, size_t count, uint8_t* dst, uint32_t unit,
                          bool drop_cr) {
  size_t i = 0, n = 0;
  while (i < count) {
    uint32_t cp = next_code_point(src, count, i);
    if (drop_cr && cp == '\r') continue;
    put_char(dst + n * unit, unit, cp);
    ++n;
  }
  return n;
}

size_t utf16_size_of_units(const uint8_t* units, size_t count, uint32_t unit, bool crlf) {
  size_t n = 0;
  for (size_t i = 0; i < count; ++i) {
    uint32_t c = get_char(units + i * unit, unit);
    if (c > max_code_point) return utf16_unencodable;
    n += 1 + (c > 0xFFFF) + (crlf && c == '\n');
  }
  return n;
}

size_t utf16_encode_units(const uint8_t* units, size_t count, uint32_t unit, uint16_t* dst,
                          bool crlf) {
  size_t n = 0;
  for (size_t i = 0; i < count; ++i) {
    uint32_t c = get_char(units + i * unit, unit);
    if (crlf && c == '\n') dst[n++] = '\r';
    uint32_t w = utf16_encode_char(c, dst + n);
    if (w == 0) return utf16_unencodable;
    n += w;
  }
  return n;
}

}  // namespace kaz::unicode

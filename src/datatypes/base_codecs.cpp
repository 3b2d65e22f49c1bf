// The base-N codecs of binary!.
#include "datatypes/base_codecs.h"

#include <cstring>
#include <initializer_list>

namespace kaz::binary {

namespace {

constexpr char base64_alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char base58_alphabet[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
constexpr char hex_upper[] = "0123456789ABCDEF";

// Digit tables of the base-64 and base-58 decoders: a digit's value, `skip` for the blanks
// the text may hold (backspace, tab, line feed, form feed, carriage return, space, apostrophe),
// `invalid` for everything else.
constexpr uint8_t skip = 64;
constexpr uint8_t invalid = 128;

struct digit_table {
  uint8_t value[128];
  constexpr explicit digit_table(const char* alphabet) : value{} {
    for (uint8_t& v : value) v = invalid;
    for (uint8_t i = 0; alphabet[i]; ++i) value[uint8_t(alphabet[i])] = i;
    for (uint8_t c : {8, 9, 10, 12, 13, 32, 39}) value[c] = skip;
  }
};
constexpr digit_table base64_digits = [] {
  digit_table t(base64_alphabet);
  t.value[uint8_t('=')] = 0;
  return t;
}();
constexpr digit_table base58_digits(base58_alphabet);

/*
 * Reads the characters of a text one at a time, leaving out comments: a ";" and everything up
 * to and including the next line feed (or the end).
 */
struct text_reader {
  const uint8_t* p;
  uint32_t left;
  uint32_t unit;

  uint32_t raw() {
    uint32_t c = p[0];
    if (unit == 2) c |= uint32_t(p[1]) << 8;
    else if (unit == 4) c |= uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    p += unit;
    --left;
    return c;
  }
  // The next character outside a comment; false at the end.
  bool next(uint32_t& c) {
    while (left > 0) {
      c = raw();
      if (c != ';') return true;
      while (left > 0 && raw() != '\n') {
      }
    }
    return false;
  }
};

}  // namespace

uint8_t hex_digit_value(uint32_t c) {
  if (c >= '0' && c <= '9') return uint8_t(c - '0');
  if (c >= 'A' && c <= 'F') return uint8_t(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return uint8_t(c - 'a' + 10);
  return 255;
}

// ---------------------------------------------------------------------------------------------
// Encoding.

uint64_t encoded_room(uint32_t base, uint32_t n) {
  switch (base) {
    case 2:
      return uint64_t(n) * 8;
    case 16:
    case 58:
      return uint64_t(n) * 2;
    default:
      return (uint64_t(n) + 2) / 3 * 4;
  }
}

uint8_t* encode_base2(uint8_t* out, const uint8_t* src, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i)
    for (int bit = 7; bit >= 0; --bit) *out++ = uint8_t('0' + ((src[i] >> bit) & 1));
  return out;
}

uint8_t* encode_base16(uint8_t* out, const uint8_t* src, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    *out++ = uint8_t(hex_upper[src[i] >> 4]);
    *out++ = uint8_t(hex_upper[src[i] & 15]);
  }
  return out;
}

/*
 * The bytes after the leading zeros are a big-endian number, rewritten in base 58 by
 * multiply-and-add: digits accumulate little-endian from the end of the 2n area (58 to the
 * power 2n exceeds 256 to the power n, so they always fit), then move to the front behind one
 * "1" per leading zero byte.
 */
uint8_t* encode_base58(uint8_t* out, const uint8_t* src, uint32_t n) {
  uint32_t zeros = 0;
  while (zeros < n && src[zeros] == 0) ++zeros;
  uint8_t* end = out + uint64_t(n) * 2;
  uint8_t* digits = end;  // [digits, end): base-58 digits, most significant first
  for (uint32_t i = zeros; i < n; ++i) {
    uint32_t carry = src[i];
    for (uint8_t* d = end; d > digits;) {
      --d;
      carry += uint32_t(*d) * 256;
      *d = uint8_t(carry % 58);
      carry /= 58;
    }
    while (carry > 0) {
      *--digits = uint8_t(carry % 58);
      carry /= 58;
    }
  }
  size_t count = size_t(end - digits);
  std::memmove(out + zeros, digits, count);
  std::memset(out, '1', zeros);
  for (size_t i = 0; i < count; ++i) out[zeros + i] = uint8_t(base58_alphabet[out[zeros + i]]);
  return out + zeros + count;
}

uint8_t* encode_base64(uint8_t* out, const uint8_t* src, uint32_t n) {
  uint32_t i = 0;
  for (; i + 3 <= n; i += 3) {
    uint32_t v = uint32_t(src[i]) << 16 | uint32_t(src[i + 1]) << 8 | src[i + 2];
    for (int k = 18; k >= 0; k -= 6) *out++ = uint8_t(base64_alphabet[(v >> k) & 63]);
  }
  if (uint32_t rest = n - i) {
    uint32_t v = uint32_t(src[i]) << 16 | (rest == 2 ? uint32_t(src[i + 1]) << 8 : 0);
    *out++ = uint8_t(base64_alphabet[(v >> 18) & 63]);
    *out++ = uint8_t(base64_alphabet[(v >> 12) & 63]);
    *out++ = rest == 2 ? uint8_t(base64_alphabet[(v >> 6) & 63]) : uint8_t('=');
    *out++ = '=';
  }
  return out;
}

uint8_t* encode(uint32_t base, uint8_t* out, const uint8_t* src, uint32_t n) {
  switch (base) {
    case 2:
      return encode_base2(out, src, n);
    case 16:
      return encode_base16(out, src, n);
    case 58:
      return encode_base58(out, src, n);
    default:
      return encode_base64(out, src, n);
  }
}

// ---------------------------------------------------------------------------------------------
// Decoding.

uint32_t decoded_room(uint32_t base, uint32_t count) {
  switch (base) {
    case 2:
      return count / 8;
    case 16:
      return count / 2;
    case 58:
      return count;
    default:
      return uint32_t((uint64_t(count) + 3) * 3 / 4);
  }
}

int64_t decode_base2(const uint8_t* text, uint32_t count, uint32_t unit, uint8_t* out) {
  text_reader r{text, count, unit};
  uint32_t acc = 0, bits = 0;
  int64_t n = 0;
  for (uint32_t c; r.next(c);) {
    if (c <= 32) continue;
    if (c != '0' && c != '1') return -1;
    acc = acc << 1 | (c - '0');
    if (++bits == 8) {
      out[n++] = uint8_t(acc);
      acc = bits = 0;
    }
  }
  return bits == 0 ? n : -1;
}

int64_t decode_base16(const uint8_t* text, uint32_t count, uint32_t unit, uint8_t* out) {
  text_reader r{text, count, unit};
  int64_t n = 0;
  uint32_t high = 0;
  bool pending = false;
  for (uint32_t c; r.next(c);) {
    if (c <= 32) continue;
    uint8_t d = c < 128 ? hex_digit_value(c) : 255;
    if (d > 15) return -1;
    if (pending) out[n++] = uint8_t(high << 4 | d);
    else high = d;
    pending = !pending;
  }
  return n;  // a last unpaired digit is dropped
}

int64_t decode_base64(const uint8_t* text, uint32_t count, uint32_t unit, uint8_t* out) {
  text_reader r{text, count, unit};
  int64_t n = 0;
  uint32_t acc = 0, pending = 0;
  for (uint32_t c; r.next(c);) {
    if (c > 127) return -1;
    uint8_t d = base64_digits.value[c];
    if (d == skip) continue;
    if (d == invalid) return -1;
    if (c == '=') {
      // Padding ends the text: what the pending digits hold is written; what follows is not
      // read.
      if (pending < 2) return -1;
      out[n++] = uint8_t(acc >> (pending == 3 ? 10 : 4));
      if (pending == 3) out[n++] = uint8_t(acc >> 2);
      return n;
    }
    acc = acc << 6 | d;
    if (++pending == 4) {
      out[n++] = uint8_t(acc >> 16);
      out[n++] = uint8_t(acc >> 8);
      out[n++] = uint8_t(acc);
      acc = pending = 0;
    }
  }
  return n;  // digits left over without padding are dropped
}

/*
 * Leading "1" digits are zero bytes; the remaining digits are a big-endian base-58 number,
 * rebuilt in base 256 by multiply-and-add into the end of the output area (never more bytes
 * than digits), then moved behind the zero bytes.
 */
int64_t decode_base58(const uint8_t* text, uint32_t count, uint32_t unit, uint8_t* out) {
  text_reader r{text, count, unit};
  uint8_t* end = out + count;
  uint8_t* bytes = end;  // [bytes, end): the number so far, most significant first
  uint32_t zeros = 0;
  bool leading = true;
  for (uint32_t c; r.next(c);) {
    if (c > 127) return -1;
    uint8_t d = base58_digits.value[c];
    if (d == skip) continue;
    if (d == invalid) return -1;
    if (leading && d == 0) {
      ++zeros;
      continue;
    }
    leading = false;
    uint32_t carry = d;
    for (uint8_t* b = end; b > bytes;) {
      --b;
      carry += uint32_t(*b) * 58;
      *b = uint8_t(carry);
      carry >>= 8;
    }
    while (carry > 0) {
      *--bytes = uint8_t(carry);
      carry >>= 8;
    }
  }
  size_t length = size_t(end - bytes);
  std::memmove(out + zeros, bytes, length);
  std::memset(out, 0, zeros);
  return int64_t(zeros + length);
}

int64_t decode(uint32_t base, const uint8_t* text, uint32_t count, uint32_t unit, uint8_t* out) {
  switch (base) {
    case 2:
      return decode_base2(text, count, unit, out);
    case 16:
      return decode_base16(text, count, unit, out);
    case 58:
      return decode_base58(text, count, unit, out);
    default:
      return decode_base64(text, count, unit, out);
  }
}

}  // namespace kaz::binary

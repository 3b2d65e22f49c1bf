// Loader of binaries: #{...} in base 16, 2#{...} and 64#{...}, with blanks and ; comments
// allowed between the digits.
#include "loader/lexer_escapes.h"
#include "loader/lexer_state.h"
#include "memory/series.h"

namespace kaz::lexer {

namespace {

int8_t base64_value(uint8_t b) {
  if (b >= 'A' && b <= 'Z') return int8_t(b - 'A');
  if (b >= 'a' && b <= 'z') return int8_t(b - 'a' + 26);
  if (b >= '0' && b <= '9') return int8_t(b - '0' + 52);
  if (b == '+') return 62;
  if (b == '/') return 63;
  return -1;
}

/*
 * Decodes the body into `out` (room for the worst case given by the caller), or answers -1.
 * The output pointer is null when only checking.
 */
int64_t decode_body(const uint8_t* p, const uint8_t* end, uint32_t base, uint8_t* out) {
  int64_t n = 0;
  uint32_t acc = 0, count = 0, pad = 0;
  for (; p < end; ++p) {
    uint8_t b = *p;
    if (b == ' ' || b == '\t' || b == '\r' || b == '\n') continue;
    if (b == ';') {
      while (p < end && *p != '\n') ++p;
      continue;
    }
    if (base == 16) {
      uint8_t d = hex_digit(b);
      if (d == 255) return -1;
      acc = acc << 4 | d;
      if (++count == 2) {
        if (out) out[n] = uint8_t(acc);
        ++n;
        acc = count = 0;
      }
    } else if (base == 2) {
      if (b != '0' && b != '1') return -1;
      acc = acc << 1 | uint32_t(b - '0');
      if (++count == 8) {
        if (out) out[n] = uint8_t(acc);
        ++n;
        acc = count = 0;
      }
    } else {
      if (b == '=') {
        // Padding closes a group of 2 or 3 characters.
        if (count < 2 || count + pad >= 4) return -1;
        ++pad;
        if (count + pad == 4) {
          uint32_t bytes = count - 1;
          acc <<= 6 * pad;
          for (uint32_t i = 0; i < bytes; ++i) {
            if (out) out[n] = uint8_t(acc >> (16 - 8 * i));
            ++n;
          }
          acc = count = 0;
          pad = 0;
          // Only padding and blanks may follow.
          for (const uint8_t* q = p + 1; q < end; ++q)
            if (*q != ' ' && *q != '\t' && *q != '\r' && *q != '\n' && *q != '=') return -1;
          return n;
        }
        continue;
      }
      if (pad) return -1;
      int8_t d = base64_value(b);
      if (d < 0) return -1;
      acc = acc << 6 | uint32_t(d);
      if (++count == 4) {
        for (uint32_t i = 0; i < 3; ++i) {
          if (out) out[n] = uint8_t(acc >> (16 - 8 * i));
          ++n;
        }
        acc = count = 0;
      }
    }
  }
  if (count != 0 || pad != 0) return -1;  // an odd digit, a partial group
  return n;
}

}  // namespace

void load_binary(lexer_state& s, bool load) {
  const uint8_t* p = s.token_start;
  uint32_t base = 16;
  if (*p != '#') {
    base = 0;
    while (*p >= '0' && *p <= '9' && base < 1000) base = base * 10 + uint32_t(*p++ - '0');
    if (base != 2 && base != 16 && base != 64) throw_error(s, type::binary);
  }
  const uint8_t* body = p + 2;  // after "#{"
  const uint8_t* end = s.token_end - 1;
  int64_t n = decode_body(body, end, base, nullptr);
  if (n < 0) throw_error(s, type::binary);
  if (!load) return;
  node_t node = memory::alloc_bytes(uint32_t(n));
  series_buffer* b = memory::buffer_of(node);
  decode_body(body, end, base, b->tail_rw());
  b->tail += uint32_t(n);
  append_value(s, cell{type::binary, 0, node, 0});
}

}  // namespace kaz::lexer

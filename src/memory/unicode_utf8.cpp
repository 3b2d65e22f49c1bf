#include "memory/unicode_utf8.h"

#include <cstring>

#include "memory/unicode_units.h"
#include "runtime/cell.h"
#include "runtime/fire.h"

namespace kaz::unicode {

namespace {

/*
 * The decoder automaton: the first 256 entries give each byte its class, the rest the next
 * state for (state + class), states being multiples of 12: 0 accepts, 12 rejects. It accepts
 * exactly the well-formed UTF-8 sequences (no overlong forms, no surrogates, nothing above
 * 10FFFFh). Classes: 0 ASCII, 1 80h-8Fh, 9 90h-9Fh, 7 A0h-BFh, 8 never valid, 2 C2h-DFh,
 * 10 E0h, 3 E1h-ECh EEh-EFh, 4 EDh, 11 F0h, 6 F1h-F3h, 5 F4h.
 */
constexpr uint8_t utf8_dfa[256 + 108] = {
    // byte classes
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    8, 8, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    10, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 3, 3, 11, 6, 6, 6, 5, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
    // transitions: state + class
    0, 12, 24, 36, 60, 96, 84, 12, 12, 12, 48, 72,    // 0: start
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,   // 12: rejected
    12, 0, 12, 12, 12, 12, 12, 0, 12, 0, 12, 12,      // 24: one more byte
    12, 24, 12, 12, 12, 12, 12, 24, 12, 24, 12, 12,   // 36: two more bytes
    12, 12, 12, 12, 12, 12, 12, 24, 12, 12, 12, 12,   // 48: after E0h, A0h-BFh
    12, 24, 12, 12, 12, 12, 12, 12, 12, 24, 12, 12,   // 60: after EDh, 80h-9Fh
    12, 12, 12, 12, 12, 12, 12, 36, 12, 36, 12, 12,   // 72: after F0h, 90h-BFh
    12, 36, 12, 12, 12, 12, 12, 36, 12, 36, 12, 12,   // 84: after F1h-F3h
    12, 36, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,   // 96: after F4h, 80h-8Fh
};
constexpr uint32_t dfa_accept = 0;
constexpr uint32_t dfa_reject = 12;

inline bool continuation(uint8_t b) { return (b & 0xC0) == 0x80; }

}  // namespace

const uint8_t* fast_decode_utf8_char(const uint8_t* p, const uint8_t* end, int32_t& cp) {
  uint32_t cls = utf8_dfa[*p];
  uint32_t code = (0xFFu >> cls) & *p;
  uint32_t state = utf8_dfa[256 + cls];
  ++p;
  while (state != dfa_accept) {
    if (state == dfa_reject || p >= end) {
      cp = -1;
      return p;
    }
    cls = utf8_dfa[*p];
    uint32_t next = utf8_dfa[256 + state + cls];
    if (next == dfa_reject) {  // this byte does not belong: leave it for the next call
      cp = -1;
      return p;
    }
    code = (code << 6) | (*p & 0x3Fu);
    state = next;
    ++p;
  }
  cp = static_cast<int32_t>(code);
  return p;
}

size_t utf8_count_code_points(const uint8_t* start, const uint8_t* end) {
  size_t n = 0;
  int32_t cp;
  while (start < end) {
    if (*start < 0x80) {
      ++start;
    } else {
      start = fast_decode_utf8_char(start, end, cp);
    }
    ++n;
  }
  return n;
}

const uint8_t* utf8_skip_code_points(const uint8_t* start, const uint8_t* end, size_t n) {
  int32_t cp;
  while (n > 0 && start < end) {
    start = fast_decode_utf8_char(start, end, cp);
    --n;
  }
  return start;
}

uint32_t utf8_sequence_length(uint8_t lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 0;
}

int32_t utf8_decode_char(const uint8_t* p, size_t avail, size_t& used) {
  used = 0;
  if (avail == 0) return utf8_incomplete;
  uint8_t b = p[0];
  if (b < 0x80) {
    used = 1;
    return b;
  }
  // Lead bytes, and the range the second byte must fall in so that the sequence is neither
  // overlong nor out of range nor in DC00h-DCFFh.
  uint32_t need;
  uint8_t lo = 0x80, hi = 0xBF;
  if (b < 0xC2) return utf8_malformed;  // stray continuation byte or overlong 2-byte form
  if (b < 0xE0) {
    need = 2;
  } else if (b < 0xF0) {
    need = 3;
    if (b == 0xE0) lo = 0xA0;
  } else if (b < 0xF5) {
    need = 4;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    return utf8_malformed;
  }
  size_t have = avail < need ? avail : need;
  for (size_t i = 1; i < have; ++i)
    if (!continuation(p[i])) return utf8_malformed;
  if (have > 1) {
    if (p[1] < lo || p[1] > hi) return utf8_malformed;
    if (b == 0xED && p[1] >= 0xB0 && p[1] <= 0xB3) return utf8_malformed;  // DC00h-DCFFh
  }
  if (have < need) return utf8_incomplete;
  uint32_t cp;
  if (need == 2) {
    cp = ((b & 0x1Fu) << 6) | (p[1] & 0x3Fu);
  } else if (need == 3) {
    cp = ((b & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
    if (cp == 0xFFFE) return utf8_malformed;
  } else {
    cp = ((b & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
  }
  used = need;
  return static_cast<int32_t>(cp);
}

namespace {

// The eight bytes at p into w, when all are ASCII and none is `avoid` (0: none is avoided).
inline bool ascii_word(const uint8_t* p, uint8_t avoid, uint64_t& w) {
  std::memcpy(&w, p, 8);
  constexpr uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
  if (w & highs) return false;
  uint64_t x = w ^ (ones * avoid);
  return !avoid || !((x - ones) & ~x & highs);
}

// The OR of a word's eight bytes.
inline uint32_t or_of_bytes(uint64_t w) {
  w |= w >> 32;
  w |= w >> 16;
  w |= w >> 8;
  return static_cast<uint32_t>(w & 0xFF);
}

}  // namespace

utf8_scan_result utf8_scan(const uint8_t* src, size_t len, bool fold_crlf, bool more_follows,
                           bool skip_bom) {
  utf8_scan_result r{0, 0, 0, 0, false};
  size_t i = 0;
  if (skip_bom && len >= 3 && src[0] == 0xEF && src[1] == 0xBB && src[2] == 0xBF) i = 3;
  r.start = i;
  uint32_t max_cp = 0;
  size_t count = 0;
  uint8_t avoid = fold_crlf ? '\r' : 0;
  while (i < len) {
    uint64_t w;
    if (i + 8 <= len && ascii_word(src + i, avoid, w)) {
      max_cp |= or_of_bytes(w);  // below 0x80, and as large as their largest
      count += 8;
      i += 8;
      continue;
    }
    uint8_t b = src[i];
    if (b < 0x80) {
      if (b == '\r' && fold_crlf) {
        if (i + 1 == len && more_follows) break;  // the LF may come with the next piece
        if (i + 1 < len && src[i + 1] == '\n') {
          ++i;  // CR LF: the LF alone is kept
          continue;
        }
        b = '\n';
      }
      if (b > max_cp) max_cp = b;
      ++count;
      ++i;
      continue;
    }
    size_t used;
    int32_t cp = utf8_decode_char(src + i, len - i, used);
    if (cp == utf8_incomplete) {
      if (!more_follows) r.malformed = true;
      break;
    }
    if (cp == utf8_malformed) {
      r.malformed = true;
      break;
    }
    if (static_cast<uint32_t>(cp) > max_cp) max_cp = static_cast<uint32_t>(cp);
    ++count;
    i += used;
  }
  r.end = i;
  r.code_points = count;
  r.max_cp = max_cp;
  return r;
}

size_t utf8_decode_units(const uint8_t* src, size_t len, uint8_t* dst, uint32_t unit,
                         bool fold_crlf) {
  size_t i = 0, n = 0;
  uint8_t avoid = fold_crlf ? '\r' : 0;
  while (i < len) {
    uint64_t w;
    if (i + 8 <= len && ascii_word(src + i, avoid, w)) {
      for (int k = 0; k < 8; ++k) put_char(dst + (n + k) * unit, unit, src[i + k]);
      i += 8;
      n += 8;
      continue;
    }
    uint32_t cp = src[i];
    if (cp < 0x80) {
      ++i;
      if (cp == '\r' && fold_crlf) {
        if (i < len && src[i] == '\n') continue;
        cp = '\n';
      }
    } else {
      size_t used;
      int32_t c = utf8_decode_char(src + i, len - i, used);
      if (c < 0) break;  // not reached on a scanned range
      cp = static_cast<uint32_t>(c);
      i += used;
    }
    put_char(dst + n * unit, unit, cp);
    ++n;
  }
  return n;
}

uint32_t utf8_put_char_bounded(uint32_t cp, uint8_t* dst, size_t room) {
  if (utf8_encoded_length(cp) > room) return 0;
  return utf8_append_encoded(cp, dst);
}

size_t utf8_size_of_units(const uint8_t* units, size_t count, uint32_t unit, bool crlf) {
  size_t bytes = 0;
  if (unit == 1) {
    for (size_t i = 0; i < count; ++i) {
      uint8_t c = units[i];
      bytes += c < 0x80 ? 1 + (crlf && c == '\n') : 2;
    }
    return bytes;
  }
  for (size_t i = 0; i < count; ++i) {
    uint32_t c = get_char(units + i * unit, unit);
    bytes += utf8_encoded_length(c) + (crlf && c == '\n');
  }
  return bytes;
}

namespace {

// Four two-byte units at p, when all are ASCII and none is `avoid`: their low bytes into four.
inline bool ascii_units2(const uint8_t* p, uint8_t avoid, uint32_t& four) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  if (w & 0xFF80FF80FF80FF80ull) return false;
  four = static_cast<uint32_t>((w & 0xFF) | ((w >> 8) & 0xFF00) | ((w >> 16) & 0xFF0000) |
                               ((w >> 24) & 0xFF000000));
  uint32_t x = four ^ (0x01010101u * avoid);
  return !avoid || !((x - 0x01010101u) & ~x & 0x80808080u);
}

template <uint32_t Unit>
size_t encode_units(const uint8_t* units, size_t count, uint8_t* dst, size_t room, bool crlf,
                    size_t* units_done) {
  size_t out = 0, i = 0;
  uint8_t avoid = crlf ? '\n' : 0;
  while (i < count) {
    // Runs of ASCII go eight (or four) characters at a time.
    if constexpr (Unit == 1) {
      uint64_t eight;
      if (i + 8 <= count && room - out >= 8 && ascii_word(units + i, avoid, eight)) {
        std::memcpy(dst + out, &eight, 8);
        out += 8;
        i += 8;
        continue;
      }
    } else if constexpr (Unit == 2) {
      uint32_t four;
      if (i + 4 <= count && room - out >= 4 && ascii_units2(units + i * 2, avoid, four)) {
        std::memcpy(dst + out, &four, 4);
        out += 4;
        i += 4;
        continue;
      }
    }
    uint32_t c = get_char(units + i * Unit, Unit);
    if (c < 0x80) {
      size_t need = crlf && c == '\n' ? 2 : 1;
      if (room - out < need) break;
      if (need == 2) dst[out++] = '\r';
      dst[out++] = static_cast<uint8_t>(c);
      ++i;
      continue;
    }
    uint32_t w = utf8_put_char_bounded(c, dst + out, room - out);
    if (w == 0) break;
    out += w;
    ++i;
  }
  if (units_done) *units_done = i;
  return out;
}

}  // namespace

size_t utf8_encode_units(const uint8_t* units, size_t count, uint32_t unit, uint8_t* dst,
                         size_t room, bool crlf, size_t* units_done) {
  switch (unit) {
    case 1:
      return encode_units<1>(units, count, dst, room, crlf, units_done);
    case 2:
      return encode_units<2>(units, count, dst, room, crlf, units_done);
    default:
      return encode_units<4>(units, count, dst, room, crlf, units_done);
  }
}

}  // namespace kaz::unicode

// The DEFLATE compressor: one final block with the fixed Huffman codes, built in one pass.
#include "loader/deflate.h"

#include <array>

namespace kaz::deflate {
namespace {

/*
 * The matcher. A table of 1024 buckets of 4 slots, keyed by a hash of 3 bytes, remembers where
 * earlier tokens started (position + 1; 0 is an empty slot). At each position the slots are
 * probed in order and the first that holds the same 3 bytes less than 32 KB back gives the match,
 * extended as far as it goes (258 bytes at most). No other candidate and no lazy match is tried:
 * the output depends only on this rule, so it is the same bytes on every run.
 *
 * After each token its start is entered into its bucket; the slot is picked from the two bytes
 * after the position the token advanced to (slot 0 when the input ends before them). Positions
 * inside a match are not entered. The first 3 and the last 2 positions are always literals.
 */
constexpr std::size_t bucket_count = 1024;
constexpr std::size_t slots = 4;

uint32_t bucket_of(const uint8_t* p) {
  uint32_t v = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
  uint32_t x = v ^ p[0];
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x & (bucket_count - 1);
}

constexpr uint32_t reverse_bits(uint32_t code, unsigned length) {
  uint32_t r = 0;
  for (unsigned i = 0; i < length; ++i) r |= ((code >> i) & 1) << (length - 1 - i);
  return r;
}

// The fixed literal/length code, bit-reversed so that it can be written least significant first.
struct fixed_code {
  uint16_t code;
  uint8_t length;
};

constexpr std::array<fixed_code, 288> make_fixed_codes() {
  std::array<fixed_code, 288> t{};
  for (uint32_t s = 0; s < 288; ++s) {
    uint32_t code, length;
    if (s < 144) code = 0x30 + s, length = 8;
    else if (s < 256) code = 0x190 + (s - 144), length = 9;
    else if (s < 280) code = s - 256, length = 7;
    else code = 0xC0 + (s - 280), length = 8;
    t[s] = {uint16_t(reverse_bits(code, length)), uint8_t(length)};
  }
  return t;
}

constexpr auto fixed_codes = make_fixed_codes();

// Length 3..258 to its symbol offset (symbol - 257), the extra bits and their value's base.
struct length_code {
  uint8_t symbol;
  uint8_t extra;
  uint16_t base;
};

constexpr uint16_t length_base[29] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t length_extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

constexpr std::array<length_code, 259> make_length_codes() {
  std::array<length_code, 259> t{};
  for (uint32_t s = 0; s < 29; ++s) {
    uint32_t last = s == 28 ? 258 : length_base[s] + (1u << length_extra[s]) - 1;
    if (s == 27) last = 257;  // 258 has a symbol of its own
    for (uint32_t len = length_base[s]; len <= last; ++len)
      t[len] = {uint8_t(s), length_extra[s], length_base[s]};
  }
  return t;
}

constexpr auto length_codes = make_length_codes();

// Writes bits least significant first; bytes past the capacity are counted, not written.
struct bit_writer {
  uint8_t* out;
  std::size_t capacity;
  std::size_t pos = 0;
  uint64_t bits = 0;
  unsigned count = 0;

  void put(uint32_t value, unsigned n) {
    bits |= uint64_t(value) << count;
    count += n;
    while (count >= 8) {
      if (pos < capacity) out[pos] = uint8_t(bits);
      ++pos;
      bits >>= 8;
      count -= 8;
    }
  }
  void pad() {
    if (count) put(0, 8 - count);
  }
};

void put_match(bit_writer& w, std::size_t length, std::size_t distance) {
  const length_code& l = length_codes[length];
  const fixed_code& c = fixed_codes[257 + l.symbol];
  w.put(c.code, c.length);
  w.put(uint32_t(length - l.base), l.extra);
  // Distance codes: 0-3 for 1-4, then two codes per power of two, with log2 - 1 extra bits.
  uint32_t d = uint32_t(distance - 1);
  uint32_t code, extra = 0, base = d;
  if (d < 4) {
    code = d;
  } else {
    uint32_t log2 = 31 - uint32_t(__builtin_clz(d));
    extra = log2 - 1;
    code = 2 * log2 + ((d >> extra) & 1);
    base = (2 + ((d >> extra) & 1)) << extra;
  }
  w.put(reverse_bits(code, 5), 5);
  w.put(d - base, extra);
}

}  // namespace

result deflate(std::span<uint8_t> out, std::span<const uint8_t> in) {
  bit_writer w{out.data(), out.size()};
  w.put(3, 3);  // BFINAL 1, BTYPE 01: the one and final block, fixed codes

  uint32_t table[bucket_count * slots] = {};
  const uint8_t* s = in.data();
  const std::size_t n = in.size();
  std::size_t p = 0;
  while (p < n) {
    const std::size_t start = p;
    const bool hashed = n - p >= 3;
    const uint32_t bucket = hashed ? bucket_of(s + p) : 0;
    std::size_t length = 0, distance = 0;
    if (hashed && p >= 3) {
      for (std::size_t i = 0; i < slots; ++i) {
        uint32_t slot = table[bucket * slots + i];
        if (slot == 0) continue;
        std::size_t q = slot - 1;
        if (q < p && p - q < 32768 && s[q] == s[p] && s[q + 1] == s[p + 1] &&
            s[q + 2] == s[p + 2]) {
          length = 3;
          while (length < 258 && p + length < n && s[q + length] == s[p + length]) ++length;
          distance = p - q;
          break;
        }
      }
    }
    if (length) {
      put_match(w, length, distance);
      p += length;
    } else {
      w.put(fixed_codes[s[p]].code, fixed_codes[s[p]].length);
      ++p;
    }
    if (hashed) {
      uint32_t slot = p + 2 < n ? ((s[p + 1] >> 6) - s[p + 2]) & 3 : 0;
      table[bucket * slots + slot] = uint32_t(start + 1);
    }
  }
  w.put(0, 7);  // end of block
  w.pad();
  return {w.pos <= out.size() ? status::ok : status::too_small, w.pos, n};
}

}  // namespace kaz::deflate

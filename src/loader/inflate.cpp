// The DEFLATE decoder: stored, fixed and dynamic blocks, checked at every step.
#include "loader/deflate.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kaz::deflate {
namespace {

constexpr uint16_t length_base[29] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t length_extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t distance_base[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                        33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                        1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t distance_extra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t code_length_order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                           11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr std::array<uint8_t, 256> make_reversed_bytes() {
  std::array<uint8_t, 256> t{};
  for (unsigned b = 0; b < 256; ++b) {
    unsigned r = 0;
    for (unsigned i = 0; i < 8; ++i) r |= ((b >> i) & 1) << (7 - i);
    t[b] = uint8_t(r);
  }
  return t;
}

constexpr auto reversed_bytes = make_reversed_bytes();

/*
 * Reads bits least significant first. The buffer holds only bits that are in the input; reading
 * beyond them sees zeros, and taking such bits is refused, which is how a truncated stream shows.
 */
class bit_reader {
 public:
  explicit bit_reader(std::span<const uint8_t> in)
      : start_(in.data()), p_(in.data()), end_(in.data() + in.size()) {}

  // The next 16 bits without taking them (zeros past the end of the input).
  uint32_t peek16() {
    if (held_ < 16) fill();
    return uint32_t(bits_ & 0xFFFF);
  }
  // Drops n bits already looked at; false when the input does not have them.
  bool drop(unsigned n) {
    if (held_ < n) return false;
    bits_ >>= n;
    held_ -= n;
    return true;
  }
  bool take(unsigned n, uint32_t& value) {
    if (held_ < n) fill();
    if (held_ < n) return false;
    value = uint32_t(bits_ & ((uint64_t(1) << n) - 1));
    bits_ >>= n;
    held_ -= n;
    return true;
  }
  // Skips to the next byte boundary; the buffer then holds whole bytes only.
  void align() { drop(held_ % 8); }
  // Whole bytes left after align().
  std::size_t bytes_left() const { return held_ / 8 + std::size_t(end_ - p_); }
  // Copies n bytes after align(); the caller checked bytes_left().
  void copy_bytes(uint8_t* out, std::size_t n) {
    for (; n > 0 && held_ > 0; --n, held_ -= 8, bits_ >>= 8) *out++ = uint8_t(bits_);
    if (n) std::memcpy(out, p_, n);
    p_ += n;
  }
  void skip_bytes(std::size_t n) {
    for (; n > 0 && held_ > 0; --n, held_ -= 8) bits_ >>= 8;
    p_ += n;
  }
  // Input bytes consumed, a partly used byte counted.
  std::size_t used() const { return std::size_t(p_ - start_) - held_ / 8; }

 private:
  void fill() {
    while (held_ <= 56 && p_ < end_) {
      bits_ |= uint64_t(*p_++) << held_;
      held_ += 8;
    }
  }
  const uint8_t* start_;
  const uint8_t* p_;
  const uint8_t* end_;
  uint64_t bits_ = 0;
  unsigned held_ = 0;
};

/*
 * A canonical Huffman code as a sorted table: one entry per code, the code left-aligned in the
 * top bits, the symbol << 4 and the length in the low 4 bits. Canonical codes in order of length
 * then symbol are in increasing order of their left-aligned values, so a binary search finds the
 * only code that can prefix the next 16 bits; it is then checked to really be a prefix, which
 * an incomplete code may fail. Codes of up to 9 bits, nearly all of them in practice, are also
 * found directly by the next 9 input bits in `fast`.
 */
constexpr unsigned fast_bits = 9;

struct huffman {
  uint32_t entries[288];
  uint32_t count;
  uint16_t fast[1 << fast_bits];  // symbol << 4 | length, 0 where no short code applies
};

enum class completeness { required, one_code_may_do };

bool build(huffman& h, const uint8_t* lengths, unsigned n, completeness rule) {
  unsigned count[16] = {};
  for (unsigned i = 0; i < n; ++i) ++count[lengths[i]];
  count[0] = 0;
  int left = 1;
  unsigned codes = 0;
  for (unsigned len = 1; len < 16; ++len) {
    left = (left << 1) - int(count[len]);
    if (left < 0) return false;  // over-subscribed
    codes += count[len];
  }
  // An incomplete code is only valid as a single code of one bit (a lone distance, or an empty
  // block's end code) or no code at all (a block of literals has no distances).
  if (left > 0 && (rule == completeness::required || codes > 1)) return false;

  uint32_t next_code[16], offset[16];
  uint32_t code = 0, at = 0;
  for (unsigned len = 1; len < 16; ++len) {
    code = (code + count[len - 1]) << 1;
    next_code[len] = code;
    offset[len] = at;
    at += count[len];
  }
  std::memset(h.fast, 0, sizeof h.fast);
  for (unsigned s = 0; s < n; ++s) {
    unsigned len = lengths[s];
    if (!len) continue;
    uint32_t c = next_code[len]++;
    h.entries[offset[len]++] = c << (32 - len) | s << 4 | len;
    if (len <= fast_bits) {
      // The input holds the code's first bit lowest: index by the reversed code.
      uint32_t r = 0;
      for (unsigned i = 0; i < len; ++i) r |= ((c >> i) & 1) << (len - 1 - i);
      for (uint32_t i = r; i < (1u << fast_bits); i += 1u << len) h.fast[i] = uint16_t(s << 4 | len);
    }
  }
  h.count = codes;
  return true;
}

// Decodes one symbol, or answers -1 with the status set.
int decode(const huffman& h, bit_reader& br, status& st) {
  uint32_t raw = br.peek16();
  if (uint16_t f = h.fast[raw & ((1u << fast_bits) - 1)]) {
    if (!br.drop(f & 15)) {
      st = status::truncated;
      return -1;
    }
    return f >> 4;
  }
  uint32_t v = uint32_t(reversed_bytes[raw & 0xFF]) << 8 | reversed_bytes[raw >> 8];
  uint32_t key = v << 16 | 0xFFFF;
  uint32_t lo = 0, hi = h.count;
  while (lo < hi) {
    uint32_t mid = (lo + hi) / 2;
    if (h.entries[mid] <= key)
      lo = mid + 1;
    else
      hi = mid;
  }
  if (lo == 0) {
    st = status::bad_symbol;
    return -1;
  }
  uint32_t e = h.entries[lo - 1];
  unsigned len = e & 15;
  if ((e ^ (v << 16)) >> (32 - len)) {
    st = status::bad_symbol;
    return -1;
  }
  if (!br.drop(len)) {
    st = status::truncated;
    return -1;
  }
  return int((e >> 4) & 0x1FF);
}

struct fixed_tables {
  huffman literals, distances;
  fixed_tables() {
    uint8_t lengths[288];
    for (unsigned s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    build(literals, lengths, 288, completeness::required);
    std::memset(lengths, 5, 32);
    build(distances, lengths, 32, completeness::required);
  }
};

const fixed_tables& fixed() {
  static const fixed_tables tables;
  return tables;
}

status read_dynamic_tables(bit_reader& br, huffman& literals, huffman& distances) {
  uint32_t hlit, hdist, hclen;
  if (!br.take(5, hlit) || !br.take(5, hdist) || !br.take(4, hclen)) return status::truncated;
  unsigned nlit = hlit + 257, ndist = hdist + 1, nclen = hclen + 4;
  if (nlit > 286 || ndist > 30) return status::bad_code_lengths;

  uint8_t cl[19] = {};
  for (unsigned i = 0; i < nclen; ++i) {
    uint32_t v;
    if (!br.take(3, v)) return status::truncated;
    cl[code_length_order[i]] = uint8_t(v);
  }
  huffman clh;
  if (!build(clh, cl, 19, completeness::required)) return status::bad_code_lengths;

  uint8_t lengths[286 + 30];
  unsigned total = nlit + ndist;
  for (unsigned i = 0; i < total;) {
    status st = status::ok;
    int sym = decode(clh, br, st);
    if (sym < 0) return st;
    if (sym < 16) {
      lengths[i++] = uint8_t(sym);
      continue;
    }
    uint32_t extra;
    unsigned repeat;
    uint8_t value = 0;
    if (sym == 16) {
      if (i == 0) return status::bad_code_lengths;  // nothing to repeat
      value = lengths[i - 1];
      if (!br.take(2, extra)) return status::truncated;
      repeat = 3 + extra;
    } else if (sym == 17) {
      if (!br.take(3, extra)) return status::truncated;
      repeat = 3 + extra;
    } else {
      if (!br.take(7, extra)) return status::truncated;
      repeat = 11 + extra;
    }
    if (repeat > total - i) return status::bad_code_lengths;
    std::memset(lengths + i, value, repeat);
    i += repeat;
  }
  if (lengths[256] == 0) return status::bad_code_lengths;  // a block must be able to end
  if (!build(literals, lengths, nlit, completeness::one_code_may_do) ||
      !build(distances, lengths + nlit, ndist, completeness::one_code_may_do))
    return status::bad_code_lengths;
  return status::ok;
}

}  // namespace

/*
 * The output count `pos` runs on past the capacity (nothing is written there) so that a too-small
 * buffer learns the size it needs; the limit bounds that count as well as the output.
 */
result inflate(std::span<uint8_t> out, std::span<const uint8_t> in, std::size_t limit) {
  bit_reader br(in);
  uint8_t* o = out.data();
  const std::size_t cap = out.size();
  std::size_t pos = 0;
  auto fail = [&](status st) { return result{st, pos < cap ? pos : cap, br.used()}; };

  huffman dynamic_literals, dynamic_distances;
  for (bool final = false; !final;) {
    uint32_t header;
    if (!br.take(3, header)) return fail(status::truncated);
    final = header & 1;
    const huffman* literals = &fixed().literals;
    const huffman* distances = &fixed().distances;
    switch (header >> 1) {
      case 0: {
        br.align();
        uint32_t len, nlen;
        if (!br.take(16, len) || !br.take(16, nlen)) return fail(status::truncated);
        if (nlen != (~len & 0xFFFF)) return fail(status::nlen_mismatch);
        if (br.bytes_left() < len) return fail(status::stored_overrun);
        if (len > limit - pos) return fail(status::too_large);
        std::size_t fits = pos < cap ? std::min<std::size_t>(len, cap - pos) : 0;
        if (fits) br.copy_bytes(o + pos, fits);
        br.skip_bytes(len - fits);
        pos += len;
        continue;
      }
      case 1:
        break;
      case 2: {
        status st = read_dynamic_tables(br, dynamic_literals, dynamic_distances);
        if (st != status::ok) return fail(st);
        literals = &dynamic_literals;
        distances = &dynamic_distances;
        break;
      }
      default:
        return fail(status::reserved_block);
    }

    for (;;) {
      status st = status::ok;
      int sym = decode(*literals, br, st);
      if (sym < 0) return fail(st);
      if (sym < 256) {
        if (pos >= limit) return fail(status::too_large);
        if (pos < cap) o[pos] = uint8_t(sym);
        ++pos;
        continue;
      }
      if (sym == 256) break;
      sym -= 257;
      if (sym >= 29) return fail(status::bad_symbol);
      uint32_t extra;
      if (!br.take(length_extra[sym], extra)) return fail(status::truncated);
      std::size_t length = length_base[sym] + extra;
      int dsym = decode(*distances, br, st);
      if (dsym < 0) return fail(st);
      if (dsym >= 30) return fail(status::bad_symbol);
      if (!br.take(distance_extra[dsym], extra)) return fail(status::truncated);
      std::size_t distance = distance_base[dsym] + extra;
      if (distance > pos) return fail(status::distance_too_far);
      if (length > limit - pos) return fail(status::too_large);
      if (pos + length <= cap) {
        // Byte by byte: an overlapping copy repeats the bytes it has just written.
        uint8_t* d = o + pos;
        const uint8_t* s = d - distance;
        for (std::size_t i = 0; i < length; ++i) d[i] = s[i];
      } else {
        for (std::size_t i = 0; i < length; ++i)
          if (pos + i < cap) o[pos + i] = o[pos + i - distance];
      }
      pos += length;
    }
  }
  return {pos <= cap ? status::ok : status::too_small, pos, br.used()};
}

}  // namespace kaz::deflate

#include "memory/lz_codec.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "memory/series.h"

namespace kaz::compress {

namespace {

uint32_t read32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void write32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// Bits from consecutive bytes, least significant first, never past `end`.
struct bit_reader {
  const uint8_t* p;
  const uint8_t* end;
  uint64_t bits = 0;
  uint32_t held = 0;
  bool bad = false;

  uint32_t get(uint32_t n) {
    while (held < n) {
      if (p == end) {
        bad = true;
        return 0;
      }
      bits |= uint64_t(*p++) << held;
      held += 8;
    }
    uint32_t v = uint32_t(bits & ((uint64_t(1) << n) - 1));
    bits >>= n;
    held -= n;
    return v;
  }
};

// Length codes: m = 3 less than the match length, 0..563.
uint32_t read_length(bit_reader& in) {
  if (in.get(1)) return in.get(2);
  if (in.get(1)) return 4 + in.get(2);
  if (in.get(1)) return 8 + in.get(2);
  if (in.get(1)) return 12 + in.get(3);
  if (in.get(1)) return 20 + in.get(5);
  return 52 + in.get(9);
}

// Distance codes: c = 1 less than the distance, 0..262143.
uint32_t read_distance(bit_reader& in) {
  uint32_t k = in.get(4);
  if (k == 0) return in.get(3);
  uint32_t j = k + 2;
  return (uint32_t(1) << j) + in.get(j);
}

// Output of the packer: bytes claimed from a fixed area; `full` once a claim does not fit.
struct bit_writer {
  uint8_t* out;
  uint64_t capacity;
  uint64_t pos = 0;
  uint64_t bits = 0;
  uint32_t held = 0;
  bool full = false;

  uint8_t* take(uint64_t n) {
    if (full || pos + n > capacity) {
      full = true;
      return nullptr;
    }
    uint8_t* p = out + pos;
    pos += n;
    return p;
  }
  void put(uint32_t n, uint32_t v) {
    bits |= uint64_t(v) << held;
    held += n;
    while (held >= 8) {
      if (uint8_t* b = take(1)) *b = uint8_t(bits);
      bits >>= 8;
      held -= 8;
    }
  }
};

void write_length(bit_writer& w, uint32_t m) {
  static const struct {
    uint32_t below, base, prefix, width;
  } codes[] = {{4, 0, 0, 2}, {8, 4, 1, 2}, {12, 8, 2, 2}, {20, 12, 3, 3}, {52, 20, 4, 5}};
  for (const auto& c : codes)
    if (m < c.below) {
      for (uint32_t i = 0; i < c.prefix; ++i) w.put(1, 0);
      w.put(1, 1);
      w.put(c.width, m - c.base);
      return;
    }
  for (int i = 0; i < 5; ++i) w.put(1, 0);
  w.put(9, m - 52);
}

void write_distance(bit_writer& w, uint32_t c) {
  if (c < 8) {
    w.put(4, 0);
    w.put(3, c);
    return;
  }
  uint32_t j = 31 - uint32_t(__builtin_clz(c));  // smallest j with c < 2^(j+1)
  w.put(4, j - 2);
  w.put(j, c - (uint32_t(1) << j));
}

constexpr uint32_t h3_mask = 0x7FFFF;
constexpr uint32_t h4_mask = 0xFFFFF;
constexpr uint32_t h4_base = 0x80000;
constexpr uint32_t head_entries = 0x180000;
constexpr uint32_t chain_mask = 0x3FFFF;
constexpr uint32_t max_chain = 256;

// Output bytes one byte of packed records can stand for at most: a longest match at the
// shortest distance costs 22 bits for 566 bytes.
constexpr uint64_t max_expansion = 206;

}  // namespace

uint8_t* unpack(const uint8_t* packed, uint64_t length, uint32_t* size) {
  if (!packed || length < 8) return nullptr;
  uint64_t area = read32(packed);
  uint64_t announced = read32(packed + 4);
  if (area > length - 8 || announced > area * max_expansion ||
      announced > memory::max_series_bytes)
    return nullptr;
  auto* out = static_cast<uint8_t*>(std::calloc(announced + 8, 1));
  if (!out) return nullptr;
  const uint8_t* pos = packed + 8;
  const uint8_t* end = pos + area;
  uint64_t produced = 0;
  while (pos < end) {
    if (end - pos < 4) break;
    uint32_t len = read32(pos);
    pos += 4;
    if (len < 1 || len > max_record || produced + len > announced) break;
    uint8_t* rec = out + produced;
    bit_reader in{pos, end};
    uint32_t i = 0;
    while (i < len && !in.bad) {
      if (!in.get(1)) {
        rec[i++] = uint8_t(in.get(8));
        continue;
      }
      uint32_t m = read_length(in);
      uint32_t c = read_distance(in);
      if (in.bad || c >= i || uint64_t(i) + m + 3 > len) {
        in.bad = true;
        break;
      }
      for (uint32_t k = 0; k < m + 3; ++k, ++i) rec[i] = rec[i - c - 1];
    }
    if (in.bad) break;
    pos = in.p;
    produced += len;
  }
  if (pos < end) {
    std::free(out);
    return nullptr;
  }
  if (size) *size = uint32_t(produced);
  return out;
}

void free_buffer(uint8_t* buffer) { std::free(buffer); }

int64_t pack(const uint8_t* source, uint32_t n, uint8_t* destination) {
  if (n <= 127) return -1;
  std::unique_ptr<int32_t[]> heads(new (std::nothrow) int32_t[head_entries]);
  std::unique_ptr<int32_t[]> chain(new (std::nothrow) int32_t[chain_mask + 1]);
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[max_record + max_match]);
  if (!heads || !chain || !block) return -1;

  bit_writer w{destination + 8, uint64_t(n) - 8};
  write32(destination + 4, n);
  for (uint32_t rec = 0; rec < n && !w.full;) {
    uint32_t len = std::min(max_record, n - rec);
    std::memcpy(block.get(), source + rec, len);
    std::memset(block.get() + len, 0, max_match);
    rec += len;
    if (uint8_t* p = w.take(4)) write32(p, len);
    std::fill(heads.get(), heads.get() + head_entries, -1);
    const uint8_t* b = block.get();
    uint32_t h3 = 0, h4 = 0;
    for (int k = 0; k < 3; ++k) h3 = ((h3 << 7) + b[k]) & h3_mask;
    for (int k = 0; k < 4; ++k) h4 = ((h4 << 5) + b[k]) & h4_mask;

    for (uint32_t p = 0; p < len && !w.full;) {
      int64_t window = int64_t(p) - int64_t(max_distance);
      uint32_t longest = std::min(len - p, max_match);
      uint32_t best = 2, distance = max_distance;
      auto match_length = [&](uint32_t c) {
        uint32_t l = 0;
        while (l < longest && b[c + l] == b[p + l]) ++l;
        return l;
      };
      int32_t c = heads[h3];
      if (c >= 0 && c >= window && b[c] == b[p]) {
        uint32_t l = match_length(uint32_t(c));
        if (l > best) best = l, distance = p - uint32_t(c);
      }
      if (best < max_match) {
        c = heads[h4_base + h4];
        for (uint32_t tries = 0; c >= 0 && c >= window && tries < max_chain;
             ++tries, c = chain[uint32_t(c) & chain_mask]) {
          if (b[uint32_t(c) + best] != b[p + best] || b[c] != b[p]) continue;
          uint32_t l = match_length(uint32_t(c));
          uint32_t penalty = 0;
          for (uint32_t x = (p - uint32_t(c)) / 16; x > distance; x >>= 3) ++penalty;
          if (l > best + penalty) best = l, distance = p - uint32_t(c);
          if (l >= longest) break;
        }
      }
      if (best == 3 && distance > 65536) best = 2;
      uint32_t covered;
      if (best < 3) {
        w.put(1, 0);
        w.put(8, b[p]);
        covered = 1;
      } else {
        w.put(1, 1);
        write_length(w, best - 3);
        write_distance(w, distance - 1);
        covered = best;
      }
      for (uint32_t k = 0; k < covered; ++k) {
        heads[h3] = int32_t(p);
        chain[p & chain_mask] = heads[h4_base + h4];
        heads[h4_base + h4] = int32_t(p);
        ++p;
        h3 = ((h3 << 7) + b[p + 2]) & h3_mask;
        h4 = ((h4 << 5) + b[p + 3]) & h4_mask;
      }
    }
    w.put(7, 0);  // completes a partly filled byte
    w.bits = 0;
    w.held = 0;
  }
  if (w.full) return -1;
  write32(destination, uint32_t(w.pos));
  return int64_t(w.pos) + 8;
}

}  // namespace kaz::compress

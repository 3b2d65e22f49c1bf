// Reading KAZBIN data: bounded primitives over the bytes of one decode.
#pragma once

#include <cstdint>

namespace kaz::kazbin {

/*
 * A position in the data being decoded. Every read checks the bytes left before it touches
 * them and raises kb-invalid-record with the 1-based position of the offending byte; a size or
 * count read from the data is checked against the bytes left before anything is allocated for
 * it. `origin` is the position that byte 0 of `data` stands for in the error's index.
 */
struct cursor {
  const uint8_t* data = nullptr;
  uint32_t pos = 0;
  uint32_t end = 0;
  uint32_t origin = 0;

  uint32_t left() const { return end - pos; }
  bool at_end() const { return pos >= end; }

  [[noreturn]] void invalid() const { invalid_at(pos); }
  [[noreturn]] void invalid_at(uint32_t at) const;

  uint8_t read_byte() {
    if (pos >= end) invalid();
    return data[pos++];
  }
  uint8_t peek_byte() const {
    if (pos >= end) invalid();
    return data[pos];
  }
  // LEB128 of a 32-bit value; most are one or two bytes.
  uint32_t read_varint() {
    if (pos < end && data[pos] < 0x80) return data[pos++];
    if (pos < end && end - pos >= 2 && data[pos + 1] < 0x80) {
      uint32_t v = (data[pos] & 0x7Fu) | uint32_t(data[pos + 1]) << 7;
      pos += 2;
      return v;
    }
    return read_long_varint();
  }
  uint32_t read_long_varint();
  int32_t read_zigzag();
  uint32_t read_int32();
  // A count that announces at least `unit_bytes` bytes per item still to come.
  uint32_t checked_count(uint32_t count, uint32_t unit_bytes) const;
  const uint8_t* take(uint32_t n);
};

// Zigzag mapping of signed 32-bit values.
inline uint32_t zigzag(int32_t n) {
  return (static_cast<uint32_t>(n) << 1) ^ static_cast<uint32_t>(n >> 31);
}
inline int32_t unzigzag(uint32_t v) { return static_cast<int32_t>((v >> 1) ^ (0u - (v & 1))); }

}  // namespace kaz::kazbin

#include "loader/kazbin_cursor.h"

#include "runtime/fire.h"

namespace kaz::kazbin {

void cursor::invalid_at(uint32_t at) const {
  cell index{type::integer, 0, origin + at + 1, 0};
  fire(err::script_kb_invalid_record, &index);
}

// The fifth byte of a varint may carry its low 4 bits only.
uint32_t cursor::read_long_varint() {
  uint32_t value = 0;
  for (uint32_t shift = 0;; shift += 7) {
    uint32_t at = pos;
    uint8_t b = read_byte();
    if (shift == 28 && (b & 0xF0)) invalid_at(at);
    value |= uint32_t(b & 0x7F) << shift;
    if (!(b & 0x80)) return value;
  }
}

int32_t cursor::read_zigzag() { return unzigzag(read_varint()); }

uint32_t cursor::read_int32() {
  const uint8_t* p = take(4);
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t cursor::checked_count(uint32_t count, uint32_t unit_bytes) const {
  if (static_cast<uint64_t>(count) * unit_bytes > left()) invalid();
  return count;
}

const uint8_t* cursor::take(uint32_t n) {
  if (n > left()) invalid();
  const uint8_t* p = data + pos;
  pos += n;
  return p;
}

}  // namespace kaz::kazbin

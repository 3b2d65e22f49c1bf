// Text units: how one code point is stored in a 1-, 2- or 4-byte unit, and widening in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "runtime/utf8_encode.h"

namespace kaz::unicode {

// max_code_point: runtime/utf8_encode.h.

/*
 * A text series stores every code point in one unit width: 1 byte (Latin-1, up to FFh),
 * 2 bytes (up to FFFFh) or 4 bytes. Units are little-endian and may sit at any byte address,
 * so they are read and written through memcpy.
 */
inline uint32_t get_char(const uint8_t* p, uint32_t unit) {
  if (unit == 1) return *p;
  if (unit == 2) {
    uint16_t u;
    std::memcpy(&u, p, 2);
    return u;
  }
  uint32_t u;
  std::memcpy(&u, p, 4);
  return u;
}

// Stores cp in one unit; the caller has chosen a unit wide enough.
inline void put_char(uint8_t* p, uint32_t unit, uint32_t cp) {
  if (unit == 1) {
    *p = static_cast<uint8_t>(cp);
  } else if (unit == 2) {
    uint16_t u = static_cast<uint16_t>(cp);
    std::memcpy(p, &u, 2);
  } else {
    std::memcpy(p, &cp, 4);
  }
}

// The narrowest unit that holds cp.
inline uint32_t unit_for(uint32_t cp) { return cp <= 0xFF ? 1 : cp <= 0xFFFF ? 2 : 4; }

// True for the three unit widths text may have.
inline bool valid_unit(uint32_t unit) { return unit == 1 || unit == 2 || unit == 4; }

// Widens `count` units at `data` from unit `from` to the wider unit `to`, in place. The area
// must have room for count x to bytes. Units are moved from the last to the first, so no unit
// is overwritten before it has been read.
void widen_units(uint8_t* data, size_t count, uint32_t from, uint32_t to);

}  // namespace kaz::unicode

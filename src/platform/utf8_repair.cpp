#include "platform/utf8_repair.h"

#include <cstdint>

namespace kaz::utf8_repair {

std::string repaired(std::string_view bytes) {
  static constexpr char replacement[] = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(bytes.size());
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    uint8_t b = p[i];
    if (b < 0x80) {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    // The length of the sequence and the range its second byte must lie in.
    size_t len = 0;
    uint8_t lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    }
    size_t good = len ? 1 : 0;  // bytes of a valid beginning
    while (good && good < len && i + good < n) {
      uint8_t c = p[i + good];
      uint8_t l = good == 1 ? lo : 0x80, h = good == 1 ? hi : 0xBF;
      if (c < l || c > h) break;
      ++good;
    }
    if (len && good == len) {
      out.append(bytes.substr(i, len));
      i += len;
    } else {
      out += replacement;
      i += good ? good : 1;  // the longest valid beginning is one replacement
    }
  }
  return out;
}

}  // namespace kaz::utf8_repair

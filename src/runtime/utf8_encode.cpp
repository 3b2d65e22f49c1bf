#include "runtime/utf8_encode.h"

#include "runtime/cell.h"
#include "runtime/fire.h"

namespace kaz::unicode {

namespace {

[[noreturn]] void raise_invalid_char(uint32_t cp) {
  cell arg{type::integer, 0, cp, 0};
  fire(err::script_invalid_char, &arg);
}

}  // namespace

uint32_t utf8_encoded_length(uint32_t cp) {
  if (cp < 0x80) return 1;
  if (cp < 0x800) return 2;
  if (cp < 0x10000) return 3;
  if (cp <= max_code_point) return 4;
  raise_invalid_char(cp);
}

uint32_t utf8_append_encoded(uint32_t cp, uint8_t* dst) {
  if (cp < 0x80) {
    dst[0] = static_cast<uint8_t>(cp);
    return 1;
  }
  if (cp < 0x800) {
    dst[0] = static_cast<uint8_t>(0xC0 | (cp >> 6));
    dst[1] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    dst[0] = static_cast<uint8_t>(0xE0 | (cp >> 12));
    dst[1] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
    dst[2] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 3;
  }
  if (cp <= max_code_point) {
    dst[0] = static_cast<uint8_t>(0xF0 | (cp >> 18));
    dst[1] = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
    dst[2] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
    dst[3] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 4;
  }
  raise_invalid_char(cp);
}

}  // namespace kaz::unicode

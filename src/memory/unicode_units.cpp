#include "memory/unicode_units.h"

namespace kaz::unicode {

void widen_units(uint8_t* data, size_t count, uint32_t from, uint32_t to) {
  if (from >= to) return;
  for (size_t i = count; i-- > 0;) put_char(data + i * to, to, get_char(data + i * from, from));
}

}  // namespace kaz::unicode

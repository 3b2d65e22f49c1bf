#include "memory/murmur3.h"

#include <sys/random.h>

#include <chrono>
#include <cstring>

namespace kaz::hashtable {

namespace {

uint32_t random_seed() {
  uint32_t s = 0;
  if (getrandom(&s, sizeof s, GRND_NONBLOCK) != sizeof s)  // early boot: fall back on the clock
    s = static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  return s;
}

}  // namespace

uint32_t seed() {
  static const uint32_t value = random_seed();
  return value;
}

uint32_t murmur3(const void* data, size_t len, uint32_t seed) {
  const auto* p = static_cast<const uint8_t*>(data);
  murmur3_stream s(seed);
  size_t blocks = len / 4;
  for (size_t i = 0; i < blocks; ++i) {
    uint32_t k;
    std::memcpy(&k, p + 4 * i, 4);
    s.block(k);
  }
  const uint8_t* tail = p + 4 * blocks;
  uint32_t k = 0;
  switch (len & 3) {
    case 3:
      k ^= uint32_t(tail[2]) << 16;
      [[fallthrough]];
    case 2:
      k ^= uint32_t(tail[1]) << 8;
      [[fallthrough]];
    case 1:
      k ^= tail[0];
      k *= 0xCC9E2D51;
      k = (k << 15) | (k >> 17);
      k *= 0x1B873593;
      s.h ^= k;
  }
  return mix32(s.h ^ static_cast<uint32_t>(len));
}

}  // namespace kaz::hashtable

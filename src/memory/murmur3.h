// MurmurHash3 (x86, 32-bit) and the per-process seed every hashtable uses.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kaz::hashtable {

// The seed: random, set once per process before the first table is made. Hashes are never
// stored or shown, so they only need to be stable within one run.
uint32_t seed();

// MurmurHash3's final avalanche on one 32-bit value; integers, ids and keys hash with it.
inline uint32_t mix32(uint32_t h) {
  h ^= h >> 16;
  h *= 0x85EBCA6B;
  h ^= h >> 13;
  h *= 0xC2B2AE35;
  h ^= h >> 16;
  return h;
}

// MurmurHash3 x86_32 of `len` bytes.
uint32_t murmur3(const void* data, size_t len, uint32_t seed);

// The same hash fed one 32-bit block at a time (text hashes one block per code point, so a
// string hashes alike in every unit width). `bytes` counts 4 per block.
struct murmur3_stream {
  uint32_t h;
  uint32_t bytes = 0;

  explicit murmur3_stream(uint32_t seed) : h(seed) {}
  void block(uint32_t k) {
    k *= 0xCC9E2D51;
    k = (k << 15) | (k >> 17);
    k *= 0x1B873593;
    h ^= k;
    h = (h << 13) | (h >> 19);
    h = h * 5 + 0xE6546B64;
    bytes += 4;
  }
  uint32_t finish() const { return mix32(h ^ bytes); }
};

}  // namespace kaz::hashtable

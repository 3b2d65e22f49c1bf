// Checksums are our own code; the digests and HMAC come from OpenSSL's libcrypto, loaded at
// the first use.
#include "loader/checksum.h"

#include <array>

#include "loader/crypto_library.h"

namespace kaz::checksum {
namespace {

/*
 * CRC-32 eight bytes a step ("slicing by 8"): table k gives the CRC of a byte followed by k zero
 * bytes, so eight table reads fold eight input bytes at once. Table 0 is the classic one for the
 * reflected polynomial 0xEDB88320.
 */
using crc_tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr crc_tables make_crc_tables() {
  crc_tables t{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][n] = c;
  }
  for (uint32_t n = 0; n < 256; ++n)
    for (int k = 1; k < 8; ++k) t[k][n] = t[0][t[k - 1][n] & 0xFF] ^ (t[k - 1][n] >> 8);
  return t;
}

constexpr crc_tables crc_table = make_crc_tables();

// The method's digest in the library; null for a method without one.
const EVP_MD* digest_of(const crypto_api& c, method m) {
  switch (m) {
    case method::md5: return c.md5();
    case method::sha1: return c.sha1();
    case method::sha256: return c.sha256();
    case method::sha384: return c.sha384();
    case method::sha512: return c.sha512();
    default: return nullptr;
  }
}

}  // namespace

uint32_t crc32(std::span<const uint8_t> data) {
  const uint8_t* p = data.data();
  std::size_t n = data.size();
  uint32_t c = 0xFFFFFFFFu;
  for (; n >= 8; p += 8, n -= 8) {
    uint32_t lo = c ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                       uint32_t(p[3]) << 24);
    c = crc_table[7][lo & 0xFF] ^ crc_table[6][(lo >> 8) & 0xFF] ^
        crc_table[5][(lo >> 16) & 0xFF] ^ crc_table[4][lo >> 24] ^ crc_table[3][p[4]] ^
        crc_table[2][p[5]] ^ crc_table[1][p[6]] ^ crc_table[0][p[7]];
  }
  for (; n > 0; ++p, --n) c = crc_table[0][(c ^ *p) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

// The sums are reduced every 5552 bytes, the most that cannot overflow 32 bits.
uint32_t adler32(std::span<const uint8_t> data) {
  constexpr uint32_t base = 65521;
  constexpr std::size_t nmax = 5552;
  const uint8_t* p = data.data();
  std::size_t n = data.size();
  uint32_t a = 1, b = 0;
  while (n > 0) {
    std::size_t chunk = n < nmax ? n : nmax;
    n -= chunk;
    for (; chunk >= 16; chunk -= 16, p += 16)
      for (int i = 0; i < 16; ++i) {
        a += p[i];
        b += a;
      }
    for (; chunk > 0; --chunk, ++p) {
      a += *p;
      b += a;
    }
    a %= base;
    b %= base;
  }
  return b << 16 | a;
}

// A 64-bit sum of 16-bit words cannot overflow for any series; it is folded to 16 bits at the end.
uint16_t internet_checksum(std::span<const uint8_t> data) {
  const uint8_t* p = data.data();
  std::size_t n = data.size();
  uint64_t sum = 0;
  for (; n >= 2; p += 2, n -= 2) sum += uint32_t(p[0]) << 8 | p[1];
  if (n) sum += uint32_t(p[0]) << 8;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return uint16_t(~sum);
}

std::size_t digest_size(method m) {
  switch (m) {
    case method::md5: return 16;
    case method::sha1: return 20;
    case method::sha256: return 32;
    case method::sha384: return 48;
    case method::sha512: return 64;
    default: return 0;
  }
}

std::size_t crypto_api_hash(std::span<const uint8_t> data, method m, digest_out out) {
  const crypto_api* c = crypto_library();
  const EVP_MD* md = c ? digest_of(*c, m) : nullptr;
  unsigned size = 0;
  if (!md || c->digest(data.data(), data.size(), out.data(), &size, md, nullptr) != 1) return 0;
  return size;
}

std::size_t hmac(std::span<const uint8_t> data, std::span<const uint8_t> key, method m,
                 digest_out out) {
  const crypto_api* c = crypto_library();
  const EVP_MD* md = c ? digest_of(*c, m) : nullptr;
  if (!md) return 0;
  // A key longer than the digest's block is replaced by its digest (RFC 2104); done here so that
  // any key length fits the library's int.
  uint8_t short_key[max_digest_size];
  if (key.size() > std::size_t(c->block_size(md))) {
    std::size_t n = crypto_api_hash(key, m, short_key);
    if (n == 0) return 0;
    key = {short_key, n};
  }
  static const uint8_t no_key = 0;
  unsigned size = 0;
  if (!c->hmac(md, key.empty() ? &no_key : key.data(), int(key.size()), data.data(), data.size(),
            out.data(), &size))
    return 0;
  return size;
}

}  // namespace kaz::checksum

// Checksums and digests: CRC-32, Adler-32, the Internet checksum (`tcp`), the MD5 and SHA
// digests and HMAC over them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kaz::checksum {

// Algorithm index of the method words that reach `digest_size`, `crypto_api_hash` and `hmac`.
enum class method : uint8_t { tcp = 0, crc32 = 1, md5 = 2, sha1 = 3, sha256 = 4, sha384 = 5, sha512 = 6 };

// Room for the longest digest (SHA-512).
inline constexpr std::size_t max_digest_size = 64;
using digest_out = std::span<uint8_t, max_digest_size>;

// The reflected CRC-32 of ISO-HDLC, zlib and gzip ("abc" gives 0x352441C2).
uint32_t crc32(std::span<const uint8_t> data);

// Adler-32 as zlib defines it ("abc" gives 0x024D0127).
uint32_t adler32(std::span<const uint8_t> data);

// The Internet checksum of RFC 1071: the one's-complement of the one's-complement sum of the
// data as big-endian 16-bit words, an odd last byte being the high byte of a last word.
uint16_t internet_checksum(std::span<const uint8_t> data);

// Bytes of a method's digest: 16, 20, 32, 48, 64; 0 for `tcp` and `crc32`.
std::size_t digest_size(method m);

// The digest of the data into `out`; answers its size, or 0 when the method has no digest or
// the crypto library refused to compute it.
std::size_t crypto_api_hash(std::span<const uint8_t> data, method m, digest_out out);

// HMAC (RFC 2104) of the data with the key under the method's digest, into `out`; answers the
// digest size, or 0 when the method has no digest or the crypto library failed.
std::size_t hmac(std::span<const uint8_t> data, std::span<const uint8_t> key, method m,
                 digest_out out);

}  // namespace kaz::checksum

// DEFLATE (RFC 1951) both ways, with zlib (RFC 1950) and gzip (RFC 1952) framing, over
// caller-provided buffers: a buffer that is too small is reported with the size needed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kaz::deflate {

// What a codec function answers.
enum class status : uint8_t {
  ok = 0,
  too_small = 1,         // the output did not fit; the result's size is the size needed
  bad_data = 2,          // framing: header, trailer, size or check value wrong
  stored_overrun = 3,    // a stored block longer than the input left
  reserved_block = 4,    // a block of the reserved type 3
  distance_too_far = 5,  // a distance reaching before the start of the output
  truncated = 6,         // the input ends before the final block does
  bad_code_lengths = 7,  // a code-length set that is over-subscribed, incomplete or misused
  bad_symbol = 8,        // a code missing from its table, or a length or distance symbol not in use
  nlen_mismatch = 9,     // a stored block whose NLEN is not the complement of its LEN
  too_large = 10,        // the output would grow beyond the limit
};

struct result {
  status code;
  std::size_t size;  // bytes written; with too_small the bytes needed
  std::size_t used;  // input bytes consumed
};

// The most any output may hold: the size of the largest series.
inline constexpr std::size_t max_output = std::size_t(1) << 31;

// Room that always suffices for the compressed form of n bytes, in any framing.
constexpr std::size_t compressed_bound(std::size_t n) { return (9 * n + 17) / 8 + 18; }

// One final block with the fixed Huffman codes, from a single-pass matcher (see deflate.cpp).
result deflate(std::span<uint8_t> out, std::span<const uint8_t> in);

// Decodes a raw DEFLATE stream up to the end of its final block. When the output is too small
// the stream is still decoded to its end, to count the size it needs. Every malformed or
// truncated stream is an error, and so is an output that would exceed `limit` bytes.
result inflate(std::span<uint8_t> out, std::span<const uint8_t> in, std::size_t limit = max_output);

// gzip member: a 10-byte header, the DEFLATE data, the CRC-32 and the length of the input.
result gzip(std::span<uint8_t> out, std::span<const uint8_t> in);

// Decodes one gzip member that fills the input. A too-small output is answered with the size
// in the trailer, once the stream has been checked to produce exactly that many bytes.
result gunzip(std::span<uint8_t> out, std::span<const uint8_t> in, std::size_t limit = max_output);

// zlib stream: header 0x78 0x01, the DEFLATE data, the Adler-32 of the input (big-endian).
result zlib_deflate(std::span<uint8_t> out, std::span<const uint8_t> in);

// Decodes one zlib stream that fills the input (no preset dictionary).
result zlib_inflate(std::span<uint8_t> out, std::span<const uint8_t> in,
                    std::size_t limit = max_output);

}  // namespace kaz::deflate

// The runtime LZ codec: format vectors, round trips and malformed input.
#include "memory/lz_codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace kaz::compress {
namespace {

using bytes = std::vector<uint8_t>;

void put32(bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// Packed data of one record of `length` bytes with the given bit-stream bytes.
bytes one_record(uint32_t length, const bytes& stream, uint32_t announced = 0) {
  bytes b;
  put32(b, uint32_t(4 + stream.size()));
  put32(b, announced ? announced : length);
  put32(b, length);
  b.insert(b.end(), stream.begin(), stream.end());
  return b;
}

std::string unpacked(const bytes& packed) {
  uint32_t size = 0;
  uint8_t* out = unpack(packed.data(), packed.size(), &size);
  if (!out) return "<fail>";
  std::string s(reinterpret_cast<char*>(out), size);
  free_buffer(out);
  return s;
}

TEST(LzCodec, FormatVectors) {
  // Ten literals: 90 bits, padded to 12 bytes.
  EXPECT_EQ(unpacked(one_record(10, {0x60, 0xc4, 0x90, 0x31, 0x83, 0x46, 0x0d, 0x1b, 0x37, 0x70,
                                     0xe4, 0x00})),
            "0123456789");
  // One literal, then a match of distance 1 and length 10 repeats it.
  EXPECT_EQ(unpacked(one_record(11, {0xf0, 0x3a, 0x00})), "xxxxxxxxxxx");
  // Distance 9: k = 1 then 3 bits (c = 8 + 0); nine literals then "abc" again.
  bytes stream;
  {
    std::vector<int> bits;
    auto put = [&](int n, uint32_t v) {
      for (int i = 0; i < n; ++i) bits.push_back((v >> i) & 1);
    };
    for (char c : std::string("abcdefghi")) put(1, 0), put(8, uint8_t(c));
    put(1, 1), put(1, 1), put(2, 0);  // length 3
    put(4, 1), put(3, 0);             // distance 9
    while (bits.size() % 8) bits.push_back(0);
    for (size_t i = 0; i < bits.size(); i += 8) {
      uint8_t byte = 0;
      for (int j = 0; j < 8; ++j) byte |= uint8_t(bits[i + j] << j);
      stream.push_back(byte);
    }
  }
  EXPECT_EQ(unpacked(one_record(12, stream)), "abcdefghiabc");
}

TEST(LzCodec, PackWritesTheFormat) {
  bytes source(200, 'a');
  bytes out(200);
  // A literal, then a match of 199 at distance 1: 31 bits in 4 bytes.
  ASSERT_EQ(pack(source.data(), 200, out.data()), 16);
  bytes expected = {8, 0, 0, 0, 200, 0, 0, 0, 200, 0, 0, 0, 0xc2, 0x02, 0x48, 0x00};
  out.resize(16);
  EXPECT_EQ(out, expected);
  EXPECT_EQ(unpacked(out), std::string(200, 'a'));
}

TEST(LzCodec, PackRefusesSmallAndIncompressibleInput) {
  bytes source(2000);
  std::mt19937 rng(7);
  for (auto& b : source) b = uint8_t(rng());
  bytes out(2000);
  EXPECT_EQ(pack(source.data(), 127, out.data()), -1);
  EXPECT_EQ(pack(source.data(), 2000, out.data()), -1);
}

TEST(LzCodec, RoundTrips) {
  std::mt19937 rng(11);
  const char* words[] = {"block", "string", "context", " ", "\n", "series", "frame", "node"};
  for (uint32_t size : {128u, 1000u, 70000u, 1048576u + 12345u}) {
    bytes source;
    while (source.size() < size) {
      if (rng() % 8 == 0) {
        source.push_back(uint8_t(rng()));
      } else {
        const char* w = words[rng() % 8];
        source.insert(source.end(), w, w + std::strlen(w));
      }
    }
    source.resize(size);
    bytes out(size);
    int64_t n = pack(source.data(), size, out.data());
    ASSERT_GT(n, 0) << size;
    out.resize(size_t(n));
    uint32_t got = 0;
    uint8_t* back = unpack(out.data(), out.size(), &got);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(got, size);
    EXPECT_EQ(std::memcmp(back, source.data(), size), 0);
    free_buffer(back);
  }
}

TEST(LzCodec, MalformedInputFails) {
  bytes good = one_record(11, {0xf0, 0x3a, 0x00});
  struct {
    const char* what;
    bytes data;
  } cases[] = {
      {"record length 0", one_record(0, {0x00})},
      {"record length above 1 MB", one_record(1048577, {0x00})},
      {"more than announced", one_record(11, {0xf0, 0x3a, 0x00}, 10)},
      {"match before the record start", one_record(3, {0x01, 0x00})},
      {"announced beyond any expansion", one_record(11, {0xf0, 0x3a, 0x00}, 100000)},
      {"bit stream runs out", one_record(20, {0xf0, 0x3a, 0x00})},
      {"record area past the input", [&] {
         bytes b = good;
         b[0] = 200;
         return b;
       }()},
      {"too short for a header", bytes{1, 0, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(unpacked(c.data), "<fail>") << c.what;
  // Every truncation of valid data fails cleanly or yields a prefix, never reads past it.
  bytes source(5000);
  for (size_t i = 0; i < source.size(); ++i) source[i] = uint8_t("abcabcx"[i % 7] + i / 700);
  bytes packed(5000);
  int64_t n = pack(source.data(), 5000, packed.data());
  ASSERT_GT(n, 0);
  for (int64_t cut = 0; cut < n; ++cut) {
    bytes part(packed.begin(), packed.begin() + cut);
    uint8_t* out = unpack(part.data(), part.size(), nullptr);
    free_buffer(out);
  }
}

}  // namespace
}  // namespace kaz::compress

// Checksums and digests: published vectors, and the fast CRC-32 and Adler-32 loops against
// byte-at-a-time definitions.
#include "loader/checksum.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace kaz;
using checksum::method;

std::span<const uint8_t> bytes(std::string_view s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

std::string hex(std::span<const uint8_t> b) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (uint8_t c : b) {
    s += digits[c >> 4];
    s += digits[c & 15];
  }
  return s;
}

std::vector<uint8_t> random_bytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = uint8_t(rng());
  return v;
}

TEST(Checksum, Crc32AndAdler32Vectors) {
  EXPECT_EQ(checksum::crc32(bytes("")), 0u);
  EXPECT_EQ(checksum::crc32(bytes("abc")), 0x352441C2u);
  EXPECT_EQ(checksum::crc32(bytes("123456789")), 0xCBF43926u);
  EXPECT_EQ(checksum::crc32(bytes("The quick brown fox jumps over the lazy dog")), 0x414FA339u);
  EXPECT_EQ(checksum::adler32(bytes("")), 1u);
  EXPECT_EQ(checksum::adler32(bytes("abc")), 0x024D0127u);
  EXPECT_EQ(checksum::adler32(bytes("Wikipedia")), 0x11E60398u);
}

TEST(Checksum, FastLoopsMatchTheirDefinitions) {
  auto data = random_bytes(70000, 7);
  data.insert(data.end(), 30000, 0xFF);  // the largest sums for Adler-32
  for (std::size_t len : {0, 1, 7, 8, 9, 15, 16, 17, 63, 5551, 5552, 5553, 100000}) {
    for (std::size_t start : {0, 1, 3}) {
      std::span<const uint8_t> s(data.data() + start, len);
      uint32_t c = 0xFFFFFFFFu;
      uint32_t a = 1, b = 0;
      for (uint8_t x : s) {
        c ^= x;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        a = (a + x) % 65521;
        b = (b + a) % 65521;
      }
      EXPECT_EQ(checksum::crc32(s), ~c) << len << " from " << start;
      EXPECT_EQ(checksum::adler32(s), b << 16 | a) << len << " from " << start;
    }
  }
}

TEST(Checksum, InternetChecksum) {
  struct {
    std::vector<uint8_t> data;
    uint16_t sum;
  } cases[] = {
      {{}, 0xFFFF},
      {{0x01}, 0xFEFF},  // an odd last byte is the high byte of its word
      {{0x00, 0x01}, 0xFFFE},
      {{0x01, 0x00}, 0xFEFF},
      {{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7}, 0x220D},  // the RFC's example
      {{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6}, 0x2304},
      {std::vector<uint8_t>(200000, 0xFF), 0x0000},  // a sum far beyond 32 bits
      {std::vector<uint8_t>(200001, 0xFF), 0x00FF},
  };
  for (auto& c : cases) EXPECT_EQ(checksum::internet_checksum(c.data), c.sum) << c.data.size();
}

TEST(Checksum, Digests) {
  struct {
    method m;
    const char* data;
    const char* digest;
  } cases[] = {
      {method::md5, "", "d41d8cd98f00b204e9800998ecf8427e"},
      {method::md5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
      {method::sha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {method::sha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {method::sha384, "abc",
       "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca1"
       "34c825a7"},
      {method::sha512, "abc",
       "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23"
       "a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
  };
  for (auto& c : cases) {
    uint8_t out[checksum::max_digest_size];
    std::size_t n = checksum::crypto_api_hash(bytes(c.data), c.m, out);
    EXPECT_EQ(n, checksum::digest_size(c.m));
    EXPECT_EQ(hex({out, n}), c.digest) << int(c.m);
  }
  uint8_t out[checksum::max_digest_size];
  EXPECT_EQ(checksum::crypto_api_hash(bytes("abc"), method::crc32, out), 0u);
  EXPECT_EQ(checksum::digest_size(method::tcp), 0u);
}

TEST(Checksum, Hmac) {
  std::string key16(16, '\x0b'), key20(20, '\x0b'), key131(131, '\xaa');
  std::string key128, key129;
  for (int i = 0; i < 128; ++i) key128 += char(i);
  key129 = key128 + "!";
  struct {
    method m;
    std::string key;
    const char* data;
    const char* mac;
  } cases[] = {
      {method::md5, "", "", "74e6f7298a9c2d168935f58c001bad88"},
      {method::sha256, "", "", "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad"},
      {method::md5, key16, "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
      {method::sha1, key20, "Hi There", "b617318655057264e28bc0b6fb378c8ef146be00"},
      {method::sha256, "Jefe", "what do ya want for nothing?",
       "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
      {method::sha384, "Jefe", "what do ya want for nothing?",
       "af45d2e376484031617f78d2b58a6b1b9c7ef464f5a01b47e42ec3736322445e8e2240ca5e69e2c78b3239ec"
       "fab21649"},
      {method::sha512, "Jefe", "what do ya want for nothing?",
       "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea2505549758bf75c05a994a6d034f65"
       "f8f0e6fdcaeab1a34d4a6b4b636e070a38bce737"},
      {method::sha256, key131, "Test Using Larger Than Block-Size Key - Hash Key First",
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
      // A key of exactly the block size is used as it is; one byte more is hashed first.
      {method::sha384, key128, "x",
       "0d9e8dba722f96254fc8081665d6907fbdafcd7627133b100666b02afc4fed18dbe6fa233fc9ca4b46406d87"
       "0cbc0305"},
      {method::sha384, key129, "x",
       "aeb836606de15beb50173f5ff5f66b3394b080ecf3fa15bcee159e13971bbf92962b8bc2eda4711026621dfa"
       "9ea85ebe"},
  };
  for (auto& c : cases) {
    uint8_t out[checksum::max_digest_size];
    std::size_t n = checksum::hmac(bytes(c.data), bytes(c.key), c.m, out);
    EXPECT_EQ(hex({out, n}), c.mac) << int(c.m) << " key of " << c.key.size();
  }
  uint8_t out[checksum::max_digest_size];
  EXPECT_EQ(checksum::hmac(bytes("a"), bytes("k"), method::tcp, out), 0u);
}

}  // namespace

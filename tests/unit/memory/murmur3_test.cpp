// MurmurHash3 against its published vectors.
#include "memory/murmur3.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace kaz::hashtable;

TEST(Murmur3, PublishedVectors) {
  struct Case {
    const char* text;
    size_t len;
    uint32_t seed, hash;
  } cases[] = {
      {"", 0, 0, 0},
      {"", 0, 1, 0x514E28B7},
      {"", 0, 0xFFFFFFFF, 0x81F16F39},
      {"\0\0\0\0", 4, 0, 0x2362F9DE},
      {"\xFF\xFF\xFF\xFF", 4, 0, 0x76293B50},
      {"\x21\x43\x65\x87", 4, 0, 0xF55B516B},
      {"\x21\x43\x65\x87", 4, 0x5082EDEE, 0x2362F9DE},
      {"\x21\x43\x65", 3, 0, 0x7E4A8634},
      {"\x21\x43", 2, 0, 0xA0F7B07A},
      {"\x21", 1, 0, 0x72661CF4},
      {"a", 1, 0x9747B28C, 0x7FA09EA6},
      {"aa", 2, 0x9747B28C, 0x5D211726},
      {"aaa", 3, 0x9747B28C, 0x283E0130},
      {"aaaa", 4, 0x9747B28C, 0x5A97808A},
      {"abc", 3, 0x9747B28C, 0xC84A62DD},
      {"abcd", 4, 0x9747B28C, 0xF0478627},
      {"Hello, world!", 13, 0x9747B28C, 0x24884CBA},
      {"The quick brown fox jumps over the lazy dog", 43, 0x9747B28C, 0x2FA826CD},
  };
  for (auto c : cases) EXPECT_EQ(murmur3(c.text, c.len, c.seed), c.hash) << c.text;
}

TEST(Murmur3, StreamedBlocksEqualTheWholeHash) {
  const uint32_t words[] = {0x61, 0xE9, 0x1F600, 0};
  murmur3_stream s(77);
  for (uint32_t w : words) s.block(w);
  EXPECT_EQ(s.finish(), murmur3(words, sizeof words, 77));
  EXPECT_EQ(murmur3_stream(5).finish(), murmur3("", 0, 5));
  EXPECT_EQ(seed(), seed());
  EXPECT_EQ(mix32(0), 0u);
  EXPECT_NE(mix32(1), 1u);
}

// UTF-16LE decoding and encoding.
#include "memory/unicode_utf16.h"

#include <gtest/gtest.h>

#include <vector>

#include "memory/unicode_units.h"

using namespace kaz::unicode;

namespace {

std::vector<uint8_t> le(std::initializer_list<uint16_t> units) {
  std::vector<uint8_t> b;
  for (uint16_t u : units) {
    b.push_back(u & 0xFF);
    b.push_back(u >> 8);
  }
  return b;
}

std::vector<uint32_t> load(const std::vector<uint8_t>& in, bool drop_cr, uint32_t* unit_out) {
  size_t count = in.size() / 2;
  auto s = utf16_scan(in.data(), count, drop_cr);
  uint32_t unit = unit_for(s.max_cp);
  *unit_out = unit;
  std::vector<uint8_t> dst(s.code_points * unit + 1);
  size_t n = utf16_decode_units(in.data(), count, dst.data(), unit, drop_cr);
  EXPECT_EQ(n, s.code_points);
  std::vector<uint32_t> cps;
  for (size_t i = 0; i < n; ++i) cps.push_back(get_char(dst.data() + i * unit, unit));
  return cps;
}

}  // namespace

TEST(Utf16, DecodesPairsAndKeepsLoneSurrogates) {
  struct Case {
    std::vector<uint8_t> in;
    bool drop_cr;
    std::vector<uint32_t> cps;
    uint32_t unit;
  } cases[] = {
      {le({}), false, {}, 1},
      {le({'a', 0xE9}), false, {'a', 0xE9}, 1},
      {le({'a', 0x4E00}), false, {'a', 0x4E00}, 2},
      {le({0xD83D, 0xDE00}), false, {0x1F600}, 4},
      {le({0xDBFF, 0xDFFF}), false, {0x10FFFF}, 4},
      // An unpaired high surrogate is kept, whatever follows it.
      {le({0xD83D, 0x0041}), false, {0xD83D, 'A'}, 2},
      {le({'x', 0xD83D}), false, {'x', 0xD83D}, 2},
      {le({0xDE00, 0xD83D}), false, {0xDE00, 0xD83D}, 2},
      {le({0xD83D, 0xD83D, 0xDE00}), false, {0xD83D, 0x1F600}, 4},
      {le({'a', '\r', '\n', 'b', '\r'}), true, {'a', '\n', 'b'}, 1},
      {le({'a', '\r', '\n'}), false, {'a', '\r', '\n'}, 1},
  };
  for (auto& c : cases) {
    uint32_t unit;
    EXPECT_EQ(load(c.in, c.drop_cr, &unit), c.cps);
    EXPECT_EQ(unit, c.unit);
  }
  // Input at an odd address reads the same.
  std::vector<uint8_t> odd = {0, 0x3D, 0xD8, 0x00, 0xDE};
  EXPECT_EQ(utf16_scan(odd.data() + 1, 2, false).max_cp, 0x1F600u);
}

TEST(Utf16, EncodesUnitsWithPairsAndLineEnds) {
  uint16_t out[16];
  EXPECT_EQ(utf16_encode_char(0x10000, out), 2u);
  EXPECT_EQ(out[0], 0xD800);
  EXPECT_EQ(out[1], 0xDC00);
  EXPECT_EQ(utf16_encode_char(0xFFFF, out), 1u);
  EXPECT_EQ(utf16_encode_char(0x110000, out), 0u);

  uint32_t units[] = {'a', '\n', 0x10000, 0xD83D};
  auto* u = reinterpret_cast<const uint8_t*>(units);
  EXPECT_EQ(utf16_size_of_units(u, 4, 4, false), 5u);
  EXPECT_EQ(utf16_size_of_units(u, 4, 4, true), 6u);
  ASSERT_EQ(utf16_encode_units(u, 4, 4, out, true), 6u);
  std::vector<uint16_t> got(out, out + 6);
  EXPECT_EQ(got, (std::vector<uint16_t>{'a', '\r', '\n', 0xD800, 0xDC00, 0xD83D}));

  const uint8_t latin[] = {'a', '\n', 0xFF};
  ASSERT_EQ(utf16_encode_units(latin, 3, 1, out, true), 4u);
  EXPECT_EQ(out[3], 0xFF);

  uint32_t bad[] = {'a', 0x110000};
  auto* b = reinterpret_cast<const uint8_t*>(bad);
  EXPECT_EQ(utf16_size_of_units(b, 2, 4, false), utf16_unencodable);
  EXPECT_EQ(utf16_encode_units(b, 2, 4, out, false), utf16_unencodable);
}

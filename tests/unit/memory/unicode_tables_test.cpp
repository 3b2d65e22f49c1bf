// The generated Unicode tables, case mapping (of code points and of values) and display widths.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>

#include "memory/case_map.h"
#include "memory/case_pairs.h"
#include "memory/char_width.h"
#include "memory/unicode_strings.h"
#include "memory/unicode_units.h"
#include "memory/width_tables.h"
#include "runtime/fire.h"

using namespace kaz::unicode;

TEST(UnicodeTables, CountsAndEndsMatchTheirSources) {
  EXPECT_EQ(std::size(upper_pairs_bmp), 1250u);
  EXPECT_EQ(std::size(lower_pairs_bmp), 1158u);
  EXPECT_EQ(std::size(upper_pairs_supplementary), 225u);
  EXPECT_EQ(std::size(lower_pairs_supplementary), 225u);
  EXPECT_EQ(std::size(zero_width_intervals), 339u);
  EXPECT_EQ(std::size(wide_intervals), 122u);

  EXPECT_EQ(upper_pairs_bmp[0][0], 0x61u);
  EXPECT_EQ(upper_pairs_bmp[1249][1], 0xFF3Au);
  EXPECT_EQ(lower_pairs_bmp[0][1], 0x61u);
  EXPECT_EQ(upper_pairs_supplementary[0][0], 0x10428u);
  EXPECT_EQ(upper_pairs_supplementary[224][0], 0x1E943u);
  EXPECT_EQ(lower_pairs_supplementary[224][1], 0x1E943u);
  EXPECT_EQ(zero_width_intervals[0][0], 0x300u);
  EXPECT_EQ(zero_width_intervals[338][1], 0xE01EFu);
  EXPECT_EQ(wide_intervals[0][1], 0x115Fu);
  EXPECT_EQ(wide_intervals[121][1], 0x3FFFDu);

  // Sorted and disjoint, as the searches assume.
  auto sorted_pairs = [](auto& t) {
    for (size_t i = 1; i < std::size(t); ++i)
      if (t[i - 1][0] >= t[i][0]) return false;
    return true;
  };
  auto sorted_ranges = [](auto& t) {
    for (size_t i = 0; i < std::size(t); ++i)
      if (t[i][0] > t[i][1] || (i > 0 && t[i - 1][1] >= t[i][0])) return false;
    return true;
  };
  EXPECT_TRUE(sorted_pairs(upper_pairs_bmp) && sorted_pairs(lower_pairs_bmp));
  EXPECT_TRUE(sorted_pairs(upper_pairs_supplementary) && sorted_pairs(lower_pairs_supplementary));
  EXPECT_TRUE(sorted_ranges(zero_width_intervals) && sorted_ranges(wide_intervals));
}

TEST(CaseMap, OneToOneMappings) {
  struct Case {
    uint32_t cp, upper, lower;
  } cases[] = {
      {'a', 'A', 'a'},         {'A', 'A', 'a'},         {'1', '1', '1'},
      {0xDF, 0x53, 0xDF},      // sharp s: the first letter of "SS"
      {0x149, 0x2BC, 0x149},   {0x1F0, 0x4A, 0x1F0},    {0x390, 0x399, 0x390},
      {0x130, 0x130, 0x69},    // capital I with dot: the first of "i" + combining dot
      {0xFF, 0x178, 0xFF},     {0x10428, 0x10400, 0x10428}, {0x10400, 0x10400, 0x10428},
      {0x1E943, 0x1E921, 0x1E943}, {0x1E944, 0x1E944, 0x1E944},
      {0xA794, 0xA794, 0xA794},    // its capital came after 11.0
      {0x10570, 0x10570, 0x10570}, {0x110000, 0x110000, 0x110000}, {0, 0, 0},
  };
  for (auto c : cases) {
    EXPECT_EQ(change_case_char(c.cp, true), c.upper) << std::hex << c.cp;
    EXPECT_EQ(change_case_char(c.cp, false), c.lower) << std::hex << c.cp;
  }
}

TEST(CaseMap, UnitsStopWhereAWiderUnitIsNeeded) {
  uint8_t text[] = {'a', 0xE9, 0xFF, 'b'};
  EXPECT_EQ(change_case_units(text, 4, 1, true), 2u);  // FFh uppercases to 178h
  EXPECT_EQ(text[0], 'A');
  EXPECT_EQ(text[1], 0xC9);
  EXPECT_EQ(text[2], 0xFF);
  uint8_t wide[8];
  for (int i = 0; i < 4; ++i) put_char(wide + 2 * i, 2, text[i]);
  EXPECT_EQ(change_case_units(wide, 4, 2, true), 4u);
  EXPECT_EQ(get_char(wide + 4, 2), 0x178u);
  EXPECT_EQ(get_char(wide + 6, 2), uint32_t('B'));
  // Lowercasing Latin-1 never needs a wider unit.
  uint8_t all[256];
  for (int i = 0; i < 256; ++i) all[i] = uint8_t(i);
  EXPECT_EQ(change_case_units(all, 256, 1, false), 256u);
}

TEST(CharWidth, CellsPerCodePoint) {
  struct Case {
    int32_t cp;
    int width;
  } cases[] = {
      {0, 0},       {'a', 1},     {9, 1},       {0x1B, 1},     {0x7F, 1},     {0x9F, 1},
      {0xAD, 1},    {0x300, 0},   {0x301, 0},   {0x36F, 0},    {0x370, 1},    {0x600, 0},
      {0x61C, 0},   {0x200B, 1},  {0x1100, 2},  {0x115F, 2},   {0x1160, 0},   {0x11FF, 0},
      {0x3000, 2},  {0x302A, 0},  {0x3099, 0},  {0x4E00, 2},   {0xD7B0, 0},   {0xFF21, 2},
      {0x1171E, 0}, {0x1F600, 2}, {0x1FAF6, 2}, {0x1FAF7, 1},  {0x2A6E0, 2},  {0x3FFFD, 2},
      {0x3FFFE, 1}, {0xE0100, 0}, {0x110000, 1}, {-1, 1},      {-0x7FFFFFFF, 1},
  };
  for (auto c : cases) EXPECT_EQ(char_width(c.cp), c.width) << std::hex << c.cp;
  uint32_t one[][2] = {{5, 9}};
  EXPECT_FALSE(find_interval(4, one, 1));
  EXPECT_TRUE(find_interval(5, one, 1));
  EXPECT_TRUE(find_interval(9, one, 1));
  EXPECT_FALSE(find_interval(10, one, 1));
  EXPECT_FALSE(find_interval(5, one, 0));
}

namespace {
kaz::cell latin(const char* s) {
  kaz::node_t n = kaz::memory::alloc_units(uint32_t(std::strlen(s)) + 1, 1);
  kaz::series_buffer* b = kaz::memory::buffer_of(n);
  std::memcpy(b->data_rw(), s, std::strlen(s));
  b->tail = uint32_t(std::strlen(s));
  return kaz::cell{kaz::type::string, 0, n, 0};
}
std::u32string chars(const kaz::cell& v) {
  auto t = text_from_head(&v);
  std::u32string out;
  for (uint32_t i = 0; i < t.count; ++i) out += char32_t(get_char(t.p + i * t.unit, t.unit));
  return out;
}
}  // namespace

TEST(CaseMap, ChangingValues) {
  using namespace kaz;
  cell c{type::char_, 0, 0xDF, 0};
  change_case_value(&c, nullptr, true);
  EXPECT_EQ(c.data2, 0x53u);

  cell s = latin("abc\xFF" "def");
  s.data1 = 1;
  change_case_value(&s, nullptr, true);  // FFh needs a wider unit: 178h
  EXPECT_EQ(memory::buffer_of(s.data2)->unit(), 2u);
  s.data1 = 0;
  EXPECT_EQ(chars(s), U"aBC\u0178DEF");

  cell p = latin("hello");
  cell zero{type::integer, 0, 0, 0}, two{type::integer, 0, 2, 0};
  change_case_value(&p, &zero, true);
  EXPECT_EQ(chars(p), U"hello");
  change_case_value(&p, &two, true);
  EXPECT_EQ(chars(p), U"HEllo");
  cell at = p;
  at.data1 = 4;  // a position in the same series: up to it
  change_case_value(&p, &at, true);
  EXPECT_EQ(chars(p), U"HELLo");
  at.data1 = 0;
  p.data1 = 2;
  change_case_value(&p, &at, false);  // behind the head: nothing
  p.data1 = 0;
  EXPECT_EQ(chars(p), U"HELLo");
  change_case_value(&p, nullptr, false);
  EXPECT_EQ(chars(p), U"hello");
  cell other = latin("x");
  EXPECT_THROW(change_case_value(&p, &other, true), language_error);
  p.data1 = 99;  // past the tail: moved back, nothing changes
  change_case_value(&p, nullptr, true);
  EXPECT_EQ(p.data1, 5u);
}

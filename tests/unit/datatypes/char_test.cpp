// char!: arithmetic kept inside the code point range, conversions and escaped text.
#include "number_calls.h"

namespace kaz::testing {
namespace {

TEST_F(Numbers, CharArithmetic) {
  struct {
    S slot;
    cell a, b;
    const char* result;
  } cases[] = {
      {S::add, C('a'), I(1), "#\"b\""},
      {S::subtract, C('a'), C(' '), "#\"A\""},
      {S::and_t, C('a'), C('_'), "#\"A\""},
      {S::or_t, C('A'), I(32), "#\"a\""},
      {S::divide, C('d'), I(3), "#\"!\""},
      {S::remainder, C('d'), I(7), "#\"^B\""},
      {S::add, C('a'), F(1.9), "#\"b\""},
      {S::subtract, C(0), I(1), "!! math overflow"},
      {S::multiply, C('a'), I(100000), "!! math overflow"},
      {S::add, C(0x10FFFF), I(1), "!! math overflow"},
      {S::add, C('a'), F(1e10), "!! math overflow"},
      {S::divide, C('a'), I(0), "!! math zero-divide"},
      {S::add, C('a'), Pc(0.1), "!! script invalid-type"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(action(c.slot, {c.a, c.b}), c.result) << molded(c.a) << " " << c.slot;
  EXPECT_EQ(action(S::absolute, {C('a')}), "#\"a\"");
  EXPECT_EQ(action(S::even_q, {C('b')}), "true");
  EXPECT_EQ(action(S::negate, {C('a')}), "!! script expect-arg");
}

TEST_F(Numbers, CharConversions) {
  const cell ch = Dt(type::char_);
  struct {
    cell spec;
    const char* result;
  } cases[] = {
      {I(1114111), "#\"\xf4\x8f\xbf\xbf\""},
      {I(1114112), "!! script out-of-range"},
      {I(-1), "!! script out-of-range"},
      {F(65.9), "#\"A\""},
      {F(-0.5), "#\"^@\""},
      {F(1e300), "!! script out-of-range"},
      {Bytes("\xC3\xA9"), "#\"\xc3\xa9\""},
      {Bytes("\xC3"), "#\"\xef\xbf\xbe\""},
      {Bytes(""), "!! script bad-to-arg"},
      {Bytes("abc", type::string), "#\"a\""},
      {Bytes("", type::string), "!! script bad-to-arg"},
      {L(true), "!! script bad-to-arg"},
  };
  for (const auto& c : cases) EXPECT_EQ(action(S::to, {ch, c.spec}), c.result) << molded(c.spec);
}

TEST_F(Numbers, CharText) {
  struct {
    uint32_t cp;
    const char* mold;
    const char* mold_all;
  } cases[] = {
      {'a', "#\"a\"", "#\"a\""},
      {0, "#\"^@\"", "#\"^@\""},
      {9, "#\"^-\"", "#\"^-\""},
      {10, "#\"^/\"", "#\"^/\""},
      {27, "#\"^[\"", "#\"^[\""},
      {0x1E, "#\"^(1E)\"", "#\"^(1E)\""},
      {0x1F, "#\"^_\"", "#\"^_\""},
      {'"', "#\"^\"\"", "#\"^\"\""},
      {'^', "#\"^^\"", "#\"^^\""},
      {0x7F, "#\"^~\"", "#\"^~\""},
      {0x85, "#\"^(85)\"", "#\"^(85)\""},
      {0xE9, "#\"\xc3\xa9\"", "#\"^(E9)\""},
      {0x20AC, "#\"\xe2\x82\xac\"", "#\"^(20AC)\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(molded(C(c.cp)), c.mold) << c.cp;
    EXPECT_EQ(molded(C(c.cp), true), c.mold_all) << c.cp;
  }
  EXPECT_EQ(formed(C(0xE9)), "\xc3\xa9");
}

TEST_F(Numbers, CharComparisons) {
  EXPECT_EQ(native("equal?", {C('a'), C('A')}), "false");
  EXPECT_EQ(native("equal?", {C('A'), I(65)}), "true");
  EXPECT_EQ(native("strict-equal?", {C('A'), I(65)}), "false");
  EXPECT_EQ(native("lesser?", {C('A'), C('a')}), "true");
  EXPECT_EQ(native("lesser?", {C('A'), F(1.0)}), "!! script invalid-compare");
}

}  // namespace
}  // namespace kaz::testing

// Molded strings: the choice of delimiters, brace balancing, the escapes and the /all and
// /part variants, at every unit width.
#include <string>

#include "string_test_support.h"

namespace kaz {
namespace {

using StringMold = testing::string_test;

TEST_F(StringMold, ChoosesDelimiters) {
  struct {
    std::string text;
    const char* molded;
  } cases[] = {
      {"", "\"\""},
      {"abc", "\"abc\""},
      {std::string(49, 'x'), nullptr},  // double quotes up to 49 characters
      {std::string(50, 'x'), nullptr},  // braces from 50
      {"say \"hi\"", "{say \"hi\"}"},
      {"a\nb\nc", "\"a^/b^/c\""},
      {"a\nb\nc\nd", "{a^/b^/c^/d}"},
      {"a{b}c", "\"a{b}c\""},
  };
  for (auto& c : cases) {
    std::string expected = c.molded ? c.molded
                           : c.text.size() < 50 ? "\"" + c.text + "\""
                                                : "{" + c.text + "}";
    EXPECT_EQ(molded(text(c.text)), expected) << c.text;
  }
}

TEST_F(StringMold, BalancesBracesInsideBraces) {
  struct {
    const char* text;
    const char* molded;
  } cases[] = {
      {"\"a{b}c", "{\"a{b}c}"},
      {"\"a}b", "{\"a^}b}"},
      {"\"{ab", "{\"^{ab}"},
      {"\"{a}{b", "{\"{a}^{b}"},
      {"\"{{a}", "{\"^{^{a^}}"},  // the outer brace never closes: it and every later one escape
      {"\"{a}}", "{\"{a}^}}"},
      {"\"^\n", "{\"^^^/}"},
  };
  for (auto& c : cases) EXPECT_EQ(molded(text(c.text)), c.molded) << c.text;
}

TEST_F(StringMold, EscapesControlsAndHighCharacters) {
  struct {
    const char* text;
    bool all;
    const char* molded;
  } cases[] = {
      {"\x1E", false, "\"^(1E)\""},
      {"\xC2\x85", false, "\"^(85)\""},
      {"\xC2\x9F", false, "\"^(9F)\""},
      {"\x7F", false, "\"^~\""},
      {"\t\x1B\x01^", false, "\"^-^[^A^^\""},
      {"\xC3\xA9", false, "\"\xC3\xA9\""},
      {"\xC3\xA9", true, "\"^(E9)\""},
      {"\xF0\x9F\x98\x80", true, "\"^(1F600)\""},
  };
  for (auto& c : cases)
    for (uint32_t unit : {1u, 2u, 4u}) {
      cell* s = wide(c.text, unit);
      EXPECT_EQ(molded(s, c.all), c.molded) << c.text << " unit " << unit;
    }
}

TEST_F(StringMold, PartLimitsTheMoldedRange) {
  cell* s = text("ab\"cd");
  cell* out = text("");
  cell part{type::integer, 0, 2, 0};
  int32_t left = string::mold_text(s, out->data2, false, &part, 2);
  EXPECT_EQ(str(out), "\"ab\"");  // the quote lies beyond the range: double quotes
  EXPECT_EQ(left, -2);
}

TEST_F(StringMold, EscapingOneCharacter) {
  cell* out = text("");
  string::append_escaped_char(out->data2, '"', string::escape::text, false);
  string::append_escaped_char(out->data2, '"', string::escape::plain, false);
  string::append_escaped_char(out->data2, '\n', string::escape::plain, false);
  string::append_escaped_char(out->data2, 0x90, string::escape::plain, false);
  EXPECT_EQ(str(out), "^\"\"\n^(90)");
}

}  // namespace
}  // namespace kaz

// find and select in strings: every refinement, the kinds of searched values.
#include <string>

#include "core/symbol.h"
#include "datatypes/string_actions.h"
#include "string_test_support.h"

namespace kaz {
namespace {

struct options {
  int32_t part = -1;
  bool case_ = false, any = false;
  const char* with = nullptr;
  int32_t skip = 0;
  bool last = false, reverse = false, tail = false, match = false;
  uint32_t head = 0;
};

class StringFind : public testing::string_test {
 protected:
  // The 1-based index find answers, or "none".
  static std::string find(const char* in, cell* value, options o = {}) {
    cell* s = text(in);
    s->data1 = o.head;
    cell* part = o.part >= 0 ? integer(o.part) : nullptr;
    cell* with = o.with ? text(o.with) : nullptr;
    cell* skip = o.skip ? integer(o.skip) : nullptr;
    cell* r = string_type::find(s, value, part, false, o.case_, false, o.any, with, skip, o.last,
                                o.reverse, o.tail, o.match);
    return type_of(r) == type::none ? "none" : std::to_string(r->data1 + 1);
  }
  static std::string find(const char* in, const char* pattern, options o = {}) {
    return find(in, text(pattern), o);
  }
};

TEST_F(StringFind, TextPatterns) {
  EXPECT_EQ(find("abcabc", "BC"), "2");
  EXPECT_EQ(find("abcabc", "BC", {.case_ = true}), "none");
  EXPECT_EQ(find("abcabc", "bc", {.case_ = true}), "2");
  EXPECT_EQ(find("abcabc", "BC", {.last = true}), "5");
  EXPECT_EQ(find("abcabc", "BC", {.tail = true}), "4");
  EXPECT_EQ(find("abc", "ab", {.match = true}), "1");
  EXPECT_EQ(find("abc", "ab", {.tail = true, .match = true}), "3");
  EXPECT_EQ(find("abc", "bc", {.match = true}), "none");
  EXPECT_EQ(find("abcabc", "b", {.reverse = true, .head = 4}), "2");
  EXPECT_EQ(find("abcabc", "bc", {.reverse = true, .head = 4}), "2");
  EXPECT_EQ(find("abcabc", "b", {.reverse = true, .head = 0}), "none");
  EXPECT_EQ(find("abcdef", "d", {.part = 3}), "none");
  EXPECT_EQ(find("abcdef", "d", {.part = 4}), "4");
  EXPECT_EQ(find("abcdef", "cd", {.part = 3}), "none");  // the match must end inside the part
  EXPECT_EQ(find("abcdef", "b", {.part = 0}), "none");
  EXPECT_EQ(find("abcabc", "a", {.part = 4, .last = true}), "4");
  EXPECT_EQ(find("aXbXcX", "X", {.skip = 2}), "none");  // only positions 1, 3 and 5
  EXPECT_EQ(find("aXbXcX", "c", {.skip = 2}), "5");
  EXPECT_EQ(find("abc", ""), "none");
  EXPECT_EQ(find("", "a"), "none");
  EXPECT_EQ(find("abc", "a", {.head = 3}), "none");
  // Folding at every width: a 4-byte pattern in 1-byte text.
  EXPECT_EQ(find("x\xC3\xA9t\xC3\xA9", wide("\xC3\x89T", 4)), "2");
}

TEST_F(StringFind, KindsOfValues) {
  EXPECT_EQ(find("abc", ch('C')), "3");
  EXPECT_EQ(find("abc", ch('C'), {.case_ = true}), "none");
  EXPECT_EQ(find("x<b>y", text("b", type::tag)), "2");  // a tag is looked for with its brackets
  EXPECT_EQ(find("a12b", integer(12)), "2");               // other values are formed
  EXPECT_EQ(find("a-word-b", value(cell{type::word, 0, symbol::make("word"), 0xFFFFFFFF})), "3");
  EXPECT_EQ(find("ab", text("b", type::file)), "2");
  cell* bytes = text("b");
  bytes->header = type::binary;
  EXPECT_EQ(error_of([&] { find("abc", bytes); }), "invalid-arg");
}

// Wildcards are not supported: /any and /with are refused before anything is searched.
TEST_F(StringFind, WildcardsAreNotDone) {
  EXPECT_EQ(error_of([&] { find("abcdef", "c*e", {.any = true}); }), "not-done");
  EXPECT_EQ(error_of([&] { find("a*c abc", "b%c", {.with = "%_"}); }), "not-done");
  EXPECT_EQ(error_of([&] { find("", "x", {.any = true}); }), "not-done");
}

TEST_F(StringFind, RefinementErrors) {
  EXPECT_EQ(error_of([&] { find("abc", "a", {.skip = -1}); }), "out-of-range");
  cell* s = text("abc");
  cell* other = text("abc");
  EXPECT_EQ(error_of([&] {
              string_type::find(s, ch('a'), other, false, false, false, false, nullptr, nullptr,
                                false, false, false, false);
            }),
            "invalid-refine-arg");
  // A part given as a position in the same buffer.
  cell* end = value(*s);
  end->data1 = 2;
  cell* r = string_type::find(s, ch('c'), end, false, false, false, false, nullptr, nullptr,
                              false, false, false, false);
  EXPECT_EQ(type_of(r), type::none);
}

TEST_F(StringFind, SelectAnswersTheCharacterAfterTheMatch) {
  auto select = [&](const char* in, cell* v, bool last = false) -> std::string {
    cell* s = text(in);
    cell* r = string_type::select(s, v, nullptr, false, false, false, false, nullptr, nullptr,
                                  last, false);
    if (type_of(r) == type::none) return "none";
    EXPECT_EQ(type_of(r), type::char_);
    return std::string(1, static_cast<char>(r->data2));
  };
  EXPECT_EQ(select("a=1", ch('=')), "1");
  EXPECT_EQ(select("key: val", text("KEY:")), " ");
  EXPECT_EQ(select("abc", text("bc")), "none");  // the match ends at the tail
  EXPECT_EQ(select("abab", ch('a'), true), "b");
  EXPECT_EQ(select("abc", ch('x')), "none");
}

}  // namespace
}  // namespace kaz

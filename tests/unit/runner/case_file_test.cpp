// The script runner's reader of case files.
#include "case_file.h"

#include <gtest/gtest.h>

using kaz::testing::parse_case_file;

TEST(CaseFile, ReadsEveryKindOfMarker) {
  auto f = parse_case_file(
      ";; a comment\n"
      "x: 1\n"
      "--\n"
      "\n"
      "x + 1\n"
      "== 2\n"
      "print x\n"
      "probe [\n"
      "   a b\n"
      "]\n"
      "-> 1\n"
      "-> [a b]\n"
      "== [a b]\n"
      "1 / 0\n"
      "!! math zero-divide\n",
      "t");
  ASSERT_EQ(f.error, "");
  ASSERT_EQ(f.cases.size(), 4u);
  EXPECT_EQ(f.cases[0].code, "x: 1");
  EXPECT_FALSE(f.cases[0].has_result || f.cases[0].has_error);
  EXPECT_EQ(f.cases[1].line, 5);
  EXPECT_EQ(f.cases[1].result, "2");
  EXPECT_EQ(f.cases[2].code, "print x\nprobe [\n   a b\n]");
  EXPECT_EQ(f.cases[2].output, (std::vector<std::string>{"1", "[a b]"}));
  EXPECT_EQ(f.cases[2].result, "[a b]");
  EXPECT_TRUE(f.cases[3].has_error);
  EXPECT_EQ(f.cases[3].error_type, "math");
  EXPECT_EQ(f.cases[3].error_id, "zero-divide");
}

TEST(CaseFile, RefusesMalformedFiles) {
  struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"== 1\n", "t:1: marker without code before it"},
      {"1\n", "t:1: code without a marker after it"},
      {"1\n== 1\n== 2\n", "t:3: a case has one result or one error"},
      {"1\n== 1\n!! math overflow\n", "t:3: a case has one result or one error"},
      {"1\n!! math\n", "t:2: an error marker is \"!! type id\""},
      {"1\n!! math a b\n", "t:2: an error marker is \"!! type id\""},
  };
  for (auto& c : cases) EXPECT_EQ(parse_case_file(c.text, "t").error, c.error) << c.text;
}

TEST(CaseFile, EmptyOutputLineAndEmptyFile) {
  auto f = parse_case_file("print \"\"\n->\n", "t");
  ASSERT_EQ(f.error, "");
  EXPECT_EQ(f.cases[0].output, std::vector<std::string>{""});
  EXPECT_TRUE(parse_case_file(";; nothing\n\n", "t").cases.empty());
}

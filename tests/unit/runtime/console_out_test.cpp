// Console output: UTF-8 from every unit width, escape sequences as they are, LF line ends.
#include "runtime/console_out.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace kaz::sysrt {
namespace {

std::string ucs2_out(std::vector<uint16_t> units, bool line_end = false) {
  return test::capture_stdout(
      [&] { write_units(units.data(), units.size() * 2, 2, line_end); });
}

std::string ucs4_out(std::vector<uint32_t> units, bool line_end = false) {
  return test::capture_stdout(
      [&] { write_units(units.data(), units.size() * 4, 4, line_end); });
}

TEST(ConsoleOut, EncodesEveryUnitWidthAsUtf8) {
  EXPECT_EQ(test::capture_stdout([] { write_latin1_line("\xFF\x41", 2); }), "\xC3\xBF" "A\n");
  EXPECT_EQ(ucs2_out({0x7F, 0x80, 0x7FF, 0x800, 0xFFFF}),
            "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");
  EXPECT_EQ(ucs4_out({0x10000, 0x10FFFF}, true), "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF\n");
}

// A surrogate pair is the code point it encodes; a lone surrogate, or a unit beyond Unicode,
// is U+FFFD.
TEST(ConsoleOut, SurrogatesAndInvalidUnits) {
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(ucs2_out({0xD83D, 0xDE00}), "\xF0\x9F\x98\x80");
  EXPECT_EQ(ucs2_out({0xD83D, 'a'}), fffd + "a");
  EXPECT_EQ(ucs2_out({0xDE00, 0xD83D}), fffd + fffd);
  EXPECT_EQ(ucs2_out({'x', 0xD800}), "x" + fffd);
  EXPECT_EQ(ucs4_out({0xD800, 0x110000, 0xFFFFFFFF}), fffd + fffd + fffd);
}

TEST(ConsoleOut, EscapeSequencesPassThrough) {
  EXPECT_EQ(ucs2_out({0x1B, '[', '3', '1', 'm', 'r', 0x1B, '[', '0', 'm'}, true),
            "\x1B[31mr\x1B[0m\n");
  EXPECT_EQ(test::capture_stdout([] { write_latin1("\x1B" "x\x1B", 3); }), "\x1B" "x\x1B");
}

// Text longer than the output buffer comes out whole, in order.
TEST(ConsoleOut, LongTextIsWrittenWhole) {
  std::vector<uint16_t> units;
  std::string expected;
  for (int i = 0; i < 20000; ++i) {
    units.push_back(i % 2 ? 0x20AC : 'a' + i % 26);
    expected += i % 2 ? "\xE2\x82\xAC" : std::string(1, static_cast<char>('a' + i % 26));
  }
  EXPECT_EQ(ucs2_out(units, true), expected + "\n");
}

TEST(ConsoleOut, NumberFormats) {
  std::string out = test::capture_stdout([] {
    print_integer(-2147483647 - 1);
    print_c_string(" ");
    print_hex2(0xAB);
    print_hex8(0x1F);
    print_c_string(" ");
    print_float64(0.1);
    print_c_string(" ");
    print_float32(1.0f / 3.0f);
    print_c_string(" ");
    print_count(UINT64_MAX);
  });
  EXPECT_EQ(out, "-2147483648 AB0000001F 0.1 0.3333333 18446744073709551615");
}

TEST(ConsoleOut, UnknownUnitWidthIsRuntimeError101) {
  auto end = test::run_in_child([] { write_units("ab", 2, 3, false); });
  EXPECT_EQ(end.code, 101);
  EXPECT_EQ(end.output.rfind("\n*** Runtime Error 101: no value matched in SWITCH\n", 0), 0u);
}

}  // namespace
}  // namespace kaz::sysrt

// Print hooks, write hooks and the default printer.
#include "runtime/output_hooks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/console_out.h"
#include "runtime/print_items.h"
#include "test_support.h"

namespace kaz::sysrt {
namespace {

std::vector<std::string> calls;

void print_a(const unit_text& t, bool line_end) {
  calls.push_back("a:" + std::string(static_cast<const char*>(t.data), t.bytes) +
                  (line_end ? "/" : ""));
}
void print_b(const unit_text& t, bool) { calls.push_back("b:" + std::to_string(t.unit)); }
void write_w(const char* data, size_t n, uint32_t extra) {
  calls.push_back("w:" + std::string(data, n) + ":" + std::to_string(extra));
}

class OutputHooks : public ::testing::Test {
 protected:
  void SetUp() override {
    init_output_hooks();
    calls.clear();
  }
  void TearDown() override { init_output_hooks(); }
};

TEST_F(OutputHooks, DefaultPrinterComesFirst) {
  EXPECT_EQ(print_hooks_size().count, 1u);
  EXPECT_EQ(write_hooks_size().count, 0u);
  add_output_hooks(print_a, nullptr);
  const char text[] = "hi";
  std::string out = test::capture_stdout([&] { call_print_hooks({text, 2, 1}, true); });
  EXPECT_EQ(out, "hi\n");
  EXPECT_EQ(calls, (std::vector<std::string>{"a:hi/"}));
}

TEST_F(OutputHooks, ListsGrowByFiveAndRemoveFirstMatch) {
  for (int i = 0; i < 3; ++i) add_output_hooks(print_a, nullptr);
  add_output_hooks(print_b, nullptr);
  add_output_hooks(print_a, nullptr);
  add_output_hooks(print_b, nullptr);
  EXPECT_EQ(print_hooks_size().count, 7u);
  EXPECT_EQ(print_hooks_size().capacity, 10u);
  remove_output_hooks(print_string_by_unit, nullptr);  // so that nothing is written
  remove_output_hooks(print_b, nullptr);               // only its first entry
  remove_output_hooks(nullptr, write_w);               // not listed: nothing changes
  EXPECT_EQ(print_hooks_size().count, 5u);
  EXPECT_EQ(print_hooks_size().capacity, 10u);
  call_print_hooks({"x", 1, 1}, false);
  EXPECT_EQ(calls, (std::vector<std::string>{"a:x", "a:x", "a:x", "a:x", "b:1"}));
}

// Every writer of bytes and numbers hands what it wrote to the write hooks, in order.
TEST_F(OutputHooks, WriteHooksSeeWhatWasWritten) {
  add_output_hooks(nullptr, write_w);
  add_output_hooks(nullptr, write_w);
  std::string out = test::capture_stdout([] {
    print_c_string("ab");
    print_integer(-5);
    print_hex2(10);
  });
  EXPECT_EQ(out, "ab-50A");
  EXPECT_EQ(calls, (std::vector<std::string>{"w:ab:0", "w:ab:0", "w:-5:0", "w:-5:0", "w:0A:0",
                                             "w:0A:0"}));
}

TEST_F(OutputHooks, DefaultPrinterWritesEveryUnitWidth) {
  const uint16_t ucs2[] = {'h', 0xE9, 0x20AC};
  const uint32_t ucs4[] = {0x1F600, '!'};
  std::string out = test::capture_stdout([&] {
    print_string_by_unit({"caf\xE9", 4, 1}, false);
    print_string_by_unit({ucs2, sizeof ucs2, 2}, true);
    print_string_by_unit({ucs4, sizeof ucs4, 4}, true);
    print_string_by_unit({"zz", 2, 3}, true);
  });
  EXPECT_EQ(out, "caf\xC3\xA9h\xC3\xA9\xE2\x82\xAC\n\xF0\x9F\x98\x80!\n"
                 "Error: unknown string encoding: 3\n");
}

TEST_F(OutputHooks, TerminalBracketSurroundsEveryPrint) {
  static int depth = 0;
  static std::vector<int> seen;
  seen.clear();
  set_terminal_print_bracket([] { seen.push_back(++depth); }, [] { seen.push_back(-(depth--)); });
  test::capture_stdout([] {
    print_string_by_unit({"a", 1, 1}, false);
    print_line({item::text("b")});
  });
  set_terminal_print_bracket(nullptr, nullptr);
  EXPECT_EQ(seen, (std::vector<int>{1, -1, 1, -1}));
}

}  // namespace
}  // namespace kaz::sysrt

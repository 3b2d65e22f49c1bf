// Runtime error reports and the exit paths.
#include "runtime/runtime_error.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "runtime/runtime_record.h"
#include "runtime/tracked_alloc.h"
#include "test_support.h"

namespace kaz::sysrt {
namespace {

TEST(RuntimeError, MessagesAsTheTableHasThem) {
  EXPECT_STREQ(runtime_error_message(1), "access violation");
  EXPECT_STREQ(runtime_error_message(6), "float denormal operan");
  EXPECT_STREQ(runtime_error_message(34), "Bus error");
  EXPECT_STREQ(runtime_error_message(94), "out of memory");
  EXPECT_STREQ(runtime_error_message(95), "no CATCH for THROW");
  EXPECT_STREQ(runtime_error_message(101), "no value matched in SWITCH");
  for (uint32_t n : {0u, 35u, 97u, 102u, 0xFFFFFFFFu})
    EXPECT_STREQ(runtime_error_message(n), "unknown error code!") << n;
}

TEST(RuntimeError, ReportTextAndAddress) {
  char buf[160];
  size_t n = format_runtime_error_report(buf, sizeof buf, 97, runtime.load_address + 0x1A2B);
  EXPECT_EQ(std::string(buf, n), "\n*** Runtime Error 97: unknown error code!\n*** at: 00001A2Bh\n");
  n = format_runtime_error_report(buf, sizeof buf, 6, 0);
  EXPECT_EQ(std::string(buf, n), "\n*** Runtime Error 6: float denormal operan\n*** at: 00000000h\n");
  // A short buffer is filled, never overrun.
  EXPECT_EQ(format_runtime_error_report(buf, 10, 6, 0), 10u);
}

// The report printed by the exit path equals the formatted one; the code is the exit code.
TEST(RuntimeError, QuitWithCodePrintsTheReportAndExits) {
  struct row {
    uint32_t n;
    int code;
  };
  for (row r : {row{0, 0}, row{6, 6}, row{94, 94}, row{100, 100}, row{300, 300 & 0xFF}}) {
    uintptr_t at = runtime.load_address + 0x42;
    auto end = test::run_in_child([&] { quit_with_code(r.n, at); });
    EXPECT_TRUE(end.exited);
    EXPECT_EQ(end.code, r.code);
    if (r.n == 0) {
      EXPECT_EQ(end.output, "");
    } else {
      char buf[160];
      EXPECT_EQ(end.output, std::string(buf, format_runtime_error_report(buf, sizeof buf, r.n, at)));
    }
  }
}

TEST(RuntimeError, ImpossibleBranchesReportTheirSite) {
  const std::regex report_100("\n\\*\\*\\* Runtime Error 100: no value matched in CASE\n.*\n");
  const std::regex report_101("\n\\*\\*\\* Runtime Error 101: no value matched in SWITCH\n.*\n");
  auto c = test::run_in_child([] { no_case_matched(); });
  EXPECT_EQ(c.code, 100);
  EXPECT_TRUE(std::regex_match(c.output, report_100)) << c.output;
  auto s = test::run_in_child([] { no_switch_matched(); });
  EXPECT_EQ(s.code, 101);
  EXPECT_TRUE(std::regex_match(s.output, report_101)) << s.output;
}

// Every exit through quit_with_code frees the tracked blocks before the process ends.
TEST(RuntimeError, ExitPathFreesTrackedBlocks) {
  for (uint32_t n : {0u, 95u}) {
    auto end = test::run_in_child([n] {
      alloc(10);
      alloc(20);
      std::atexit([] {
        std::printf(runtime.tracked.head == nullptr ? "[freed]" : "[kept]");
        std::fflush(stdout);
      });
      quit_with_code(n, 0);
    });
    EXPECT_EQ(end.code, static_cast<int>(n));
    EXPECT_NE(end.output.find("[freed]"), std::string::npos) << end.output;
  }
}

}  // namespace
}  // namespace kaz::sysrt

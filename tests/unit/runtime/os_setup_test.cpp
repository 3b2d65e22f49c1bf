// The command-line arguments kept in the runtime record.
#include "runtime/os_setup.h"

#include <gtest/gtest.h>

#include "runtime/runtime_record.h"

namespace kaz::sysrt {
namespace {

TEST(OsSetup, ArgumentsAreCopiedWhole) {
  char a0[] = "kaz", a1[] = "caf\xC3\xA9.kaz", a2[] = "", a3[] = "\xFF raw";
  char* argv[] = {a0, a1, a2, a3, nullptr};
  init_args(4, argv);
  ASSERT_EQ(runtime.argc, 4);
  EXPECT_STREQ(runtime.argv[1], "caf\xC3\xA9.kaz");
  EXPECT_STREQ(runtime.argv[2], "");  // an empty argument stays an entry
  EXPECT_STREQ(runtime.argv[3], "\xFF raw");
  EXPECT_EQ(runtime.argv[4], nullptr);
  EXPECT_NE(runtime.argv[1], a1);  // copies, not the system's strings
  init_args(0, nullptr);
  EXPECT_EQ(runtime.argc, 0);
  EXPECT_EQ(runtime.argv[0], nullptr);
}

}  // namespace
}  // namespace kaz::sysrt

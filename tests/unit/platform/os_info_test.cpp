// The pieces of the OS description on texts of other systems than the one running the test.
#include "platform/os_info.h"

#include <gtest/gtest.h>

namespace kaz::system_info {
namespace {

TEST(OsInfo, KernelReleases) {
  struct row {
    const char* release;
    uint8_t major, minor, patch;
    int32_t build;
  };
  const row rows[] = {
      {"6.8.0-45-generic", 6, 8, 0, 45},
      {"5.15.133.1-microsoft-standard-WSL2", 5, 15, 133, 1},
      {"6.10.6+bpo-amd64", 6, 10, 6, 0},
      {"4.19", 4, 19, 0, 0},
      {"300.1000.2-99999999999", 255, 255, 2, INT32_MAX},
      {"", 0, 0, 0, 0},
      {"x.1", 0, 0, 0, 0},
  };
  for (const row& r : rows) {
    uint8_t v[3];
    int32_t build = -1;
    parse_release(r.release, v, build);
    EXPECT_EQ(v[0], r.major) << r.release;
    EXPECT_EQ(v[1], r.minor) << r.release;
    EXPECT_EQ(v[2], r.patch) << r.release;
    EXPECT_EQ(build, r.build) << r.release;
  }
}

TEST(OsInfo, OsReleaseNames) {
  EXPECT_EQ(name_of_os_release("NAME=\"Fedora Linux\"\nPRETTY_NAME=\"Fedora Linux 40 (Work\\\"station)\"\n"),
            "Fedora Linux 40 (Work\"station)");
  EXPECT_EQ(name_of_os_release("ID=alpine\nNAME='Alpine Linux'"), "Alpine Linux");
  EXPECT_EQ(name_of_os_release("NAME=Plain\nBROKEN\n"), "Plain");
  EXPECT_EQ(name_of_os_release("NAME=\"unterminated"), "unterminated");
  EXPECT_EQ(name_of_os_release(""), "");
}

TEST(OsInfo, Architectures) {
  EXPECT_EQ(arch_of_machine("x86_64"), "x86-64");
  EXPECT_EQ(arch_of_machine("i686"), "x86-32");
  EXPECT_EQ(arch_of_machine("aarch64"), "ARM64");
  EXPECT_EQ(arch_of_machine("armv7l"), "ARM");
  EXPECT_EQ(arch_of_machine("riscv64"), "Unknown");
}

}  // namespace
}  // namespace kaz::system_info

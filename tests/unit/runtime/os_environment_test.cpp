// Environment variables and the current directory.
#include "runtime/os_environment.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>

#include "test_support.h"

namespace kaz::sysrt {
namespace {

TEST(OsEnvironment, SetGetListAndRemove) {
  std::string_view value = "caf\xC3\xA9 = 1";
  ASSERT_TRUE(set_env("KAZ_TEST_VAR", &value));
  std::string got;
  ASSERT_TRUE(get_env("KAZ_TEST_VAR", got));
  EXPECT_EQ(got, value);
  std::map<std::string, std::string> all;
  list_env([&](std::string_view n, std::string_view v) { all[std::string(n)] = v; });
  EXPECT_EQ(all["KAZ_TEST_VAR"], value);
  std::string_view empty;
  ASSERT_TRUE(set_env("KAZ_TEST_VAR", &empty));
  ASSERT_TRUE(get_env("KAZ_TEST_VAR", got));
  EXPECT_EQ(got, "");
  ASSERT_TRUE(set_env("KAZ_TEST_VAR", nullptr));
  got = "kept";
  EXPECT_FALSE(get_env("KAZ_TEST_VAR", got));
  EXPECT_EQ(got, "kept");
}

TEST(OsEnvironment, RefusesNamesThatCannotBeOne) {
  std::string_view v = "x";
  std::string_view with_nul("a\0b", 3);
  std::string got;
  for (std::string_view name : {std::string_view(""), std::string_view("A=B"), with_nul}) {
    EXPECT_FALSE(set_env(name, &v));
    EXPECT_FALSE(get_env(name, got));
  }
  EXPECT_FALSE(set_env("KAZ_TEST_NUL", &with_nul));
}

TEST(OsEnvironment, CurrentDirectory) {
  auto end = test::run_in_child([] {
    char pattern[] = "/tmp/kaz-cwd-XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    std::string path;
    bool ok = dir && set_current_dir(dir) && get_current_dir(path) && path == dir;
    ok = ok && set_current_dir("/") && get_current_dir(path) && path == "/";
    ok = ok && !set_current_dir("/no/such/dir") && !set_current_dir("");
    // A removed current directory cannot be read.
    ok = ok && set_current_dir(dir) && ::rmdir(dir) == 0 && !get_current_dir(path);
    std::_Exit(ok ? 0 : 1);
  });
  EXPECT_EQ(end.code, 0);
}

}  // namespace
}  // namespace kaz::sysrt

// File lists as URI lists: what is encoded comes back, and what is not a local file is refused.
#include "platform/uri_list.h"

#include <gtest/gtest.h>

namespace kaz::uri_list {
namespace {

TEST(UriList, PathsComeBack) {
  const std::vector<std::string> paths = {"/a b/\xC3\xA9%#?.txt", "/", "/raw\xFF\x01name"};
  std::string list = from_paths(paths);
  EXPECT_EQ(list.substr(0, list.find('\r')), "file:///a%20b/%C3%A9%25%23%3F.txt");
  std::vector<std::string> back;
  ASSERT_TRUE(to_paths(list, back));
  EXPECT_EQ(back, paths);
}

TEST(UriList, ReadsWhatDesktopsWrite) {
  struct row {
    const char* list;
    bool ok;
    std::vector<std::string> paths;
  };
  const row rows[] = {
      {"# copied\nfile:///x/y%41\n\nfile://localhost/z\nfile:/w", true, {"/x/yA", "/z", "/w"}},
      {"file:///a\r\nfile:///b\r\n", true, {"/a", "/b"}},
      {"file://host/x\n", false, {}},
      {"https://example.org/\n", false, {}},
      {"file:///a%2\n", false, {}},
      {"file:///a%zz\n", false, {}},
      {"file:///a%00b\n", false, {}},
      {"# nothing\n\n", false, {}},
  };
  for (const row& r : rows) {
    std::vector<std::string> paths;
    EXPECT_EQ(to_paths(r.list, paths), r.ok) << r.list;
    if (r.ok) {
      EXPECT_EQ(paths, r.paths) << r.list;
    }
  }
}

}  // namespace
}  // namespace kaz::uri_list

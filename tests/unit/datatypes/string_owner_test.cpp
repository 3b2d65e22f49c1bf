// What the owner of a string hears when string actions change it (reactive objects).
#include <string>

#include "../support/session.h"
#include "core/ownership.h"

namespace kaz {
namespace {

using testing::run;

class StringOwner : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::boot(); }
};

std::string* heard = nullptr;

void record(cell*, cell*, cell*, cell* action, cell*, int32_t index, int32_t part) {
  *heard += std::string(symbol::spelling(action->data2)) + " " + std::to_string(index) + " " +
            std::to_string(part) + "; ";
}

TEST_F(StringOwner, HearsEveryChangeBeforeAndAfter) {
  std::string log;
  heard = &log;
  ownership::set_deep_change_handler(record);
  run("o: make object! [a: 1] s: copy \"abc\" t: copy \"xy\" modify s 'owned reduce [o 'a]");
  // An owner with handlers has an on-set record (word 3).
  ownership::find_owner(testing::eval("s")->data2)->data3 = testing::eval("s")->data2;
  struct {
    const char* code;
    const char* heard;
  } cases[] = {
      {"append s \"de\"", "append 3 2; appended 3 2; "},
      {"append s [1 2]", "append 5 0; appended 5 2; "},
      {"insert next s #\"-\"", "insert 1 1; inserted 1 1; "},
      {"change s \"AB\"", "change 0 2; changed 0 2; "},
      {"sort s", "sort 0 8; sorted 0 8; "},
      {"swap s t", "swap 0 1; swaped 0 1; "},
      {"trim/all s", "trim 0 8; trimmed 0 8; "},
      {"append t \"z\"", ""},  // not owned
  };
  for (auto& c : cases) {
    log.clear();
    EXPECT_EQ(run(c.code).rfind("!!", 0), std::string::npos) << c.code;
    EXPECT_EQ(log, c.heard) << c.code;
  }
  ownership::set_deep_change_handler(nullptr);
  heard = nullptr;
}

}  // namespace
}  // namespace kaz

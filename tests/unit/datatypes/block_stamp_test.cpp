// A block's stamp through the language: every action that changes a block gives it a new
// stamp, and reading it (evaluating it too) keeps the stamp it had.
#include "../support/session.h"
#include "core/series_cell.h"
#include "memory/series.h"

namespace kaz {
namespace {

class BlockStamps : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::boot(); }

  // The stamp of the block `b` holds (its buffer, as the word holds it now).
  static uint32_t stamp_of_b() {
    stack::saved_state saved = stack::save();
    uint32_t s = memory::buffer_of(series::node_of(testing::eval("b")))->stamp;
    stack::unwind_to(saved);
    return s;
  }
};

struct stamp_case {
  const char* setup;
  const char* code;
};

TEST_F(BlockStamps, ChangesRenewTheStamp) {
  const stamp_case cases[] = {
      {"b: [1 2 3]", "append b 4"},
      {"b: [1 2 3]", "insert b 0"},
      {"b: [1 2 3]", "poke b 2 9"},
      {"b: [1 2 3]", "b/2: 9"},
      {"b: [1 2 3]", "change next b 7"},
      {"b: [1 2 3]", "remove b"},
      {"b: [1 2 3]", "clear next b"},
      {"b: [1 2 3]", "take/last b"},
      {"b: [3 1 2]", "sort b"},
      {"b: [1 2 3]", "reverse b"},
      {"b: [x y]", "bind b context [x: 1 y: 2]"},
      {"a: [1 [2]] b: a/2", "append a/2 3"},
  };
  for (const stamp_case& c : cases) {
    SCOPED_TRACE(c.code);
    testing::run(c.setup);
    uint32_t before = stamp_of_b();
    testing::run(c.code);
    EXPECT_NE(stamp_of_b(), before);
  }
}

TEST_F(BlockStamps, ReadingKeepsTheStamp) {
  const char* reads[] = {
      "pick b 2", "b/2", "first b", "find b 2", "select b 2", "length? b", "copy b",
      "mold b", "foreach x b [x]", "do b", "reduce b", "equal? b [1 2 3]", "parse b [some integer!]",
  };
  testing::run("b: [1 2 3]");
  for (const char* code : reads) {
    SCOPED_TRACE(code);
    uint32_t before = stamp_of_b();
    testing::run(code);
    EXPECT_EQ(stamp_of_b(), before);
  }
}

}  // namespace
}  // namespace kaz

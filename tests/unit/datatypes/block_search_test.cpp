// block! searching: find and select with every refinement, put.
#include "../support/session.h"

namespace kaz {
namespace {

using testing::check_all;

class BlockSearch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testing::boot();
    // The interpreter cannot take an action's last refinement when a `return:` follows it in
    // the spec yet: this alias has a spec without it.
    testing::run("put*: make action! [[series key value /case] 41]");
  }
};

TEST_F(BlockSearch, Find) {
  check_all({
      {"find [1 2 3 2] 2", "[2 3 2]"},
      {"find [1 2 3] 4", "none"},
      {"find [] 1", "none"},
      {"find tail [1 2] 2", "none"},
      {"find next [2 1 2] 2", "[2]"},
      {"find/last [1 2 3 2] 2", "[2]"},
      {"find/last [1 2 3] 4", "none"},
      {"find/reverse tail [1 2 3 2] 2", "[2]"},
      {"find/reverse at [1 2 3 2] 4 2", "[2 3 2]"},
      {"find/reverse [1 2] 1", "none"},
      {"find/tail [a b c] 'b", "[c]"},
      {"find/tail [a b c] 'c", "[]"},
      // A block is searched as a sequence of its values, unless /only.
      {"find [a b c d] [b c]", "[b c d]"},
      {"find/tail [a b c d] [b c]", "[d]"},
      {"find [a b c] [c d]", "none"},
      {"find [a [b] b] [b]", "[b]"},
      {"find/only [a [b] b] [b]", "[[b] b]"},
      {"find [1 2] []", "none"},
      {"find/last [a b a b] [a b]", "[a b]"},
      {"index? find/last [a b a b] [a b]", "3"},
      {"index? find/reverse at [a b a b c] 5 [a b]", "3"},
      // A datatype or typeset finds values of that type, unless /only.
      {"find [1 a 2] word!", "[a 2]"},
      {"find [1 a \"s\"] any-string!", "[\"s\"]"},
      {"find reduce [1 integer! 2] integer!", "[1 integer! 2]"},
      {"find/only reduce [1 integer! 2] integer!", "[integer! 2]"},
      {"find/match [a b c] 'a", "[a b c]"},
      {"find/match [a b c] 'b", "none"},
      {"find/match/tail [a b c] [a b]", "[c]"},
      {"find [\"A\" \"a\"] \"a\"", "[\"A\" \"a\"]"},
      {"find/case [\"A\" \"a\"] \"a\"", "[\"a\"]"},
      {"find [A a] 'a", "[A a]"},
      {"find/case [A a] 'a", "[a]"},
      {"b: [1] find/only reduce [[1] b] b", "[[1] [1]]"},
      {"b: [1] index? find/only/same reduce [[1] b] b", "2"},
  });
}

TEST_F(BlockSearch, FindPartAndSkip) {
  check_all({
      {"find/part [1 2 3] 3 2", "none"},
      {"find/part [1 2 3] 2 2", "[2 3]"},
      {"find/part [1 2 3] 1 0", "none"},
      {"find/part [1 2 3] 3 10", "[3]"},
      {"b: [1 2 3] find/part b 3 next next b", "none"},
      {"b: [1 2 3] find/part b 2 next next b", "[2 3]"},
      {"find/part [1] 1 \"x\"", "!! script invalid-refine-arg"},
      {"find/part [1] 1 next [1]", "!! script invalid-refine-arg"},
      {"find/part [a b c] [b c] 2", "none"},
      {"find/skip [a 1 b 2] 'b 2", "[b 2]"},
      {"find/skip [a b c d] 'b 2", "none"},
      {"find/skip [a b] 'b 0", "!! script out-of-range"},
      {"find/skip next [x a b] 'b 2", "none"},
      {"find/skip next [x a b c] 'c 2", "[c]"},
      // Backwards by records: the record starts of the grid that begins at the head.
      {"find/last/skip [a 1 a 2 b 3] 'a 2", "[a 2 b 3]"},
      {"find/last/skip [a a a] 'a 2", "[a]"},
      {"find/last/skip [1 a 2 a] 'a 2", "none"},
      {"index? find/reverse/skip at [a 1 a 2 a 3] 5 'a 2", "3"},
  });
}

TEST_F(BlockSearch, Select) {
  check_all({
      {"select [a 1 b 2] 'b", "2"},
      {"select [a 1 b] 'b", "none"},
      {"select [a 1] 'z", "none"},
      {"select [a b c d] [b c]", "d"},
      {"select/only [[b c] x] [b c]", "x"},
      {"select/skip [a b c d] 'c 2", "d"},
      {"select/skip [a b c d] 'b 2", "none"},
      {"select/last [a 1 a 2] 'a", "2"},
      {"select/case [A 1 a 2] 'a", "2"},
      {"select [A 1 a 2] 'a", "1"},
      {"select/part [a 1 b 2] 'b 2", "none"},
  });
}

TEST_F(BlockSearch, Put) {
  check_all({
      {"b: [a 1 b 2] reduce [put b 'b 5 b]", "[5 [a 1 b 5]]"},
      {"b: [a 1] put b 'c 3 b", "[a 1 c 3]"},
      {"b: [a 1 b] put b 'b 2 b", "[a 1 b 2]"},
      {"b: [a 1] put b 'a 1 b", "[a 1]"},
      {"b: [A 1] put b 'a 2 b", "[A 2]"},
      {"b: [A 1] put*/case b 'a 2 b", "[A 1 a 2]"},
      // Values are searched as keys too.
      {"b: [a b c d] put b 'b 'x b", "[a b x d]"},
  });
}

}  // namespace
}  // namespace kaz

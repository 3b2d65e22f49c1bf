// block! below the language: copy/types, the set-operation engine.
#include "../support/session.h"
#include "core/context.h"
#include "core/registry.h"
#include "datatypes/block_actions.h"

namespace kaz {
namespace {

using testing::run;

class Blocks : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::boot(); }
};

// copy/types copies only nested values of the given types (the slot is called directly: the
// action's dispatcher does not pass /types on yet).
TEST_F(Blocks, CopyByTypes) {
  cell* a = testing::eval("a: [[1] \"s\" [[2]]]");
  cell* out = stack::reserve_cell();
  cell types{type::datatype_, type::block, 0, 0};
  registry::row(type::block).copy(a, out, nullptr, false, &types);
  cell* held = stack::push(out);
  context::put_word_value(context::global, symbol::make("c"), held);
  EXPECT_EQ(run("same? pick a 1 pick c 1"), "false");
  EXPECT_EQ(run("same? pick a 2 pick c 2"), "true");
  EXPECT_EQ(run("same? pick pick a 3 1 pick pick c 3 1"), "true");  // not deep
  registry::row(type::block).copy(a, out, nullptr, true, &types);
  context::put_word_value(context::global, symbol::make("c"), out);
  EXPECT_EQ(run("same? pick pick a 3 1 pick pick c 3 1"), "false");
  stack::top = a;
}

// The set operations, called as the set natives will call them: the arguments on the stack.
std::string set_operation(const char* a, const char* b, int32_t code, bool case_ = false,
                          int32_t skip = 0) {
  stack::saved_state saved = stack::save();
  cell* first = testing::eval(a);
  if (b) testing::eval(b);
  cell* args = stack::arguments;
  stack::arguments = first;
  cell k{type::integer, 0, static_cast<uint32_t>(skip), 0};
  std::string out;
  try {
    block_type::set_operation(case_, skip ? &k : nullptr, code);
    out = testing::molded(first);
  } catch (const language_error&) {
    out = testing::error_text();
  }
  stack::arguments = args;
  stack::unwind_to(saved);
  return out;
}

TEST_F(Blocks, SetOperations) {
  constexpr int32_t unique = 8, union_ = 9, intersect = 10, exclude = 11, difference = 12;
  EXPECT_EQ(set_operation("[1 2 1 3 2]", nullptr, unique), "[1 2 3]");
  EXPECT_EQ(set_operation("next [1 2 1 3 2]", nullptr, unique), "[2 1 3]");
  EXPECT_EQ(set_operation("[]", nullptr, unique), "[]");
  EXPECT_EQ(set_operation("[1 2]", "[2 3]", union_), "[1 2 3]");
  EXPECT_EQ(set_operation("[1 1]", "[1]", union_), "[1]");
  EXPECT_EQ(set_operation("[1 2 3]", "[2 3 4]", intersect), "[2 3]");
  EXPECT_EQ(set_operation("[1 2 2]", "[2]", intersect), "[2]");
  EXPECT_EQ(set_operation("[1 2 3]", "[2]", exclude), "[1 3]");
  EXPECT_EQ(set_operation("[1 2 3]", "next [2 1]", exclude), "[2 3]");
  EXPECT_EQ(set_operation("[1 2]", "[2 3]", difference), "[1 3]");
  EXPECT_EQ(set_operation("[\"a\" \"A\"]", nullptr, unique), "[\"a\"]");
  EXPECT_EQ(set_operation("[\"a\" \"A\"]", nullptr, unique, true), "[\"a\" \"A\"]");
  EXPECT_EQ(set_operation("[a A b]", nullptr, unique), "[a b]");
  EXPECT_EQ(set_operation("[[1] [1] [2]]", nullptr, unique), "[[1] [2]]");
  EXPECT_EQ(set_operation("[[1] x]", "[[1]]", intersect), "[[1]]");
  EXPECT_EQ(set_operation("[a 1 a 2 b 3]", nullptr, unique, false, 2), "[a 1 b 3]");
  EXPECT_EQ(set_operation("[a 1 b 2]", "[a 9 c 3]", exclude, false, 2), "[b 2]");
  EXPECT_EQ(set_operation("[a 1 b 2]", "[b 9 c 3]", union_, false, 2), "[a 1 b 2 c 3]");
  EXPECT_EQ(set_operation("[1]", nullptr, unique, false, -1), "!! script invalid-refine-arg");
}

}  // namespace
}  // namespace kaz

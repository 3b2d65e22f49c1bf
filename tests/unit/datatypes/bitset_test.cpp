// bitset!: the mold limit and the set natives' operations through the entry points (the
// language-level cases are in cases/bitset.kaz).
#include "datatypes/bitset.h"

#include "scalar_harness.h"

namespace kaz::scalar_test {
namespace {

using Bitset = Scalars;

// form or mold with a length limit, through the slots.
std::string limited(const char* code, int32_t limit) {
  cell v;
  EXPECT_EQ(evaluate(code, &v), "");
  cell buffer;
  string::make_at(&buffer, 16);
  cell* held = stack::push(&buffer);
  actions::mold(&v, held, false, false, false, nullptr, limit, 0);
  std::string s = string::to_utf8(held);
  stack::top--;
  return s;
}

TEST_F(Bitset, MoldStopsAtItsLimit) {
  EXPECT_EQ(limited("make bitset! [0 - 40]", 17), "make bitset! #{FF}");
  EXPECT_EQ(limited("make bitset! [not 0 - 40]", 24), "make bitset! [not #{FFFF}]");
  EXPECT_EQ(limited("make bitset! [0 - 40]", 1000), "make bitset! #{FFFFFFFFFF80}");
}

TEST_F(Bitset, SetOperationsOfTheNatives) {
  cell r;
  ASSERT_EQ(evaluate("a: make bitset! [1 20] b: make bitset! [1 2]", &r), "");
  auto op = [&](bitset_type::set_op o, const char* x, const char* y) {
    stack::saved_state saved = stack::save();
    cell vx, vy;
    evaluate(x, &vx);
    evaluate(y, &vy);
    stack::arguments = stack::top;
    stack::push(&vx);
    stack::push(&vy);
    bitset_type::set_operation(o);
    std::string s = molded(stack::arguments);
    stack::unwind_to(saved);
    return s;
  };
  EXPECT_EQ(op(bitset_type::set_op::intersect, "b", "a"), "make bitset! #{400000}");
  EXPECT_EQ(op(bitset_type::set_op::exclude, "a", "b"), "make bitset! #{000008}");
  EXPECT_EQ(op(bitset_type::set_op::exclude, "b", "a"), "make bitset! #{200000}");
  EXPECT_EQ(op(bitset_type::set_op::or_, "b", "a"), "make bitset! #{600008}");
  EXPECT_EQ(op(bitset_type::set_op::unique, "b", "a"), "make bitset! #{60}");
}

}  // namespace
}  // namespace kaz::scalar_test

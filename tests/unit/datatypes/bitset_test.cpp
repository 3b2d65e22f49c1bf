// bitset!: the mold limit and the set natives' operations through the entry points (the
// language-level cases are in cases/bitset.kaz).
#include "datatypes/bitset.h"
#include "datatypes/scalar_support.h"

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

TEST_F(Bitset, OwnersAreRecorded) {
  // modify/owned cannot be reached from the language (its spec takes objects and series), so
  // the owner is given through the slot.
  cell r;
  ASSERT_EQ(evaluate("o: make object! [b: none] bs: make bitset! [1]", &r), "");
  cell bs, owner_spec;
  ASSERT_EQ(evaluate("bs", &bs), "");
  ASSERT_EQ(evaluate("reduce [o 'b]", &owner_spec), "");
  cell field = scalar::word_cell("owned");
  registry::row(type::bitset).modify(&bs, &field, &owner_spec, false);
  EXPECT_EQ(run("same? o reflect bs 'owned"), "true");
  EXPECT_EQ(run("append bs 5 poke bs 6 true pick bs 6"), "true");
  EXPECT_EQ(run("reflect bs 'spec"), "!! internal not-done");
  cell none{type::none, 0, 0, 0};
  registry::row(type::bitset).modify(&bs, &field, &none, false);
  EXPECT_EQ(run("reflect bs 'owned"), "none");
}

TEST_F(Bitset, BinaryInsideASpecIsNotDone) {
  cell r;
  EXPECT_EQ(evaluate("make bitset! [1 #{00}]", &r), "!! internal not-done");
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

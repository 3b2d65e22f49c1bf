// bitset!: specs, sizes, molds, membership, set operations with complemented operands.
#include "datatypes/bitset.h"

#include "scalar_harness.h"

namespace kaz::scalar_test {
namespace {

using Bitset = Scalars;

cell char_value(uint32_t c) { return cell{type::char_, 0, c, 0}; }

cell binary_value(std::initializer_list<uint8_t> bytes) {
  cell b;
  string::make_at(&b, 16, type::binary);
  series_buffer* s = memory::reserve_tail(string::buffer_of(&b), static_cast<uint32_t>(bytes.size()));
  std::copy(bytes.begin(), bytes.end(), s->tail_ptr() - bytes.size());
  return b;
}

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

void set_chars() {
  set("ca", char_value('a'));
  set("cb", char_value('b'));
  set("cc", char_value('c'));
  set("cA", char_value('A'));
  set("cB", char_value('B'));
}

TEST_F(Bitset, SizesAndMolds) {
  set_chars();
  set("bin", binary_value({0x0F, 0xF0}));
  set("f", float_value(9.5));
  expect_all({
      {"length? make bitset! 0", "0"},
      {"length? make bitset! 1", "8"},
      {"length? make bitset! 8", "8"},
      {"length? make bitset! 9", "16"},
      {"length? make bitset! f", "16"},
      {"make bitset! -1", "!! script out-of-range"},
      {"make bitset! 0", "make bitset! #{}"},
      {"make bitset! \"A\"", "make bitset! #{000000000000000040}"},
      {"make bitset! [not \"A\"]", "make bitset! [not #{000000000000000040}]"},
      {"make bitset! []", "make bitset! #{00}"},
      {"make bitset! [1 2]", "make bitset! #{60}"},
      {"make bitset! [0 - 9]", "make bitset! #{FFC0}"},
      {"make bitset! [3 - 20]", "make bitset! #{1FFFF8}"},
      {"make bitset! bin", "make bitset! #{0FF0}"},
      {"make bitset! reduce [bin 1]", "make bitset! #{0FF0}"},
      {"make bitset! reduce ['not bin]", "make bitset! [not #{0FF0}]"},
      {"to bitset! \"A\"", "make bitset! #{000000000000000040}"},
      {"to bitset! 8", "!! script bad-to-arg"},
      {"make bitset! none", "!! script bad-make-arg"},
      {"to bitset! none", "!! script bad-to-arg"},
      {"form make bitset! [1]", "\"make bitset! #{40}\""},
  });
  EXPECT_EQ(limited("make bitset! [0 - 40]", 17), "make bitset! #{FF}");
  EXPECT_EQ(limited("make bitset! [not 0 - 40]", 24), "make bitset! [not #{FFFF}]");
}

TEST_F(Bitset, SpecsAndMembership) {
  set_chars();
  expect_all({
      {"b: make bitset! [not \"A\"] pick b cA", "false"},
      {"pick b cB", "true"},
      {"pick b 100000", "true"},
      {"pick b -1", "true"},
      {"b: make bitset! reduce [ca '- cc] reduce [pick b ca pick b cb pick b cc pick b 100]",
       "[true true true false]"},
      {"make bitset! reduce [cc '- ca]", "!! script past-end"},
      {"make bitset! reduce [ca '- 5]", "!! script invalid-arg"},
      {"make bitset! reduce [ca '-]", "!! script past-end"},
      {"make bitset! [-1]", "!! script out-of-range"},
      {"pick make bitset! [1 2] [1 2]", "true"},
      {"pick make bitset! [1 2] [1 3]", "false"},
      {"pick make bitset! [1 2] -5", "false"},
      {"b: make bitset! [[1 2] [3 [4]] \"AB\"] reduce [pick b 4 pick b cB pick b 5]",
       "[true true false]"},
      {"find make bitset! \"abc\" \"cab\"", "true"},
      {"find make bitset! \"abc\" \"cad\"", "none"},
      {"b: make bitset! 8 b/3", "false"},
      {"b/3: true b/3", "true"},
      {"b", "make bitset! #{10}"},
      {"b/3: 0 b", "make bitset! #{00}"},
      {"b/x", "!! script invalid-type"},
  });
  cell bin = binary_value({1});
  set("bin", bin);
  EXPECT_EQ(run("make bitset! reduce [1 bin]"), "!! internal not-done");
}

TEST_F(Bitset, ChangingMembers) {
  expect_all({
      {"b: make bitset! [1] append b [9 10] b", "make bitset! #{4060}"},
      {"insert b 20 b", "make bitset! #{406008}"},
      {"poke b 10 0 b", "make bitset! #{404008}"},
      {"poke b 10 none pick b 10", "false"},
      {"poke b 11 'x pick b 11", "true"},
      {"remove/part b [9 11] b", "make bitset! #{400008}"},
      {"remove b", "!! script missing-arg"},
      {"clear b", "make bitset! #{000000}"},
      {"length? b", "24"},
      // Setting beyond the end of a complemented set changes nothing; clearing grows it.
      {"c: make bitset! [not 1] append c 100 length? c", "8"},
      {"remove/part c 100 length? c", "104"},
      {"pick c 100", "false"},
      {"pick c 99", "true"},
      {"clear c c", "make bitset! #{00000000000000000000000000}"},
      {"pick c 1000", "false"},
      {"append c none", "!! script invalid-arg"},
  });
}

TEST_F(Bitset, ComparisonAndCopies) {
  expect_all({
      {"(make bitset! [1]) = make bitset! [1]", "true"},
      {"(make bitset! [1]) = make bitset! 16", "false"},
      {"(make bitset! [1]) < make bitset! [9]", "true"},
      {"(make bitset! [1]) > make bitset! [2]", "true"},
      {"(make bitset! [not 1]) > make bitset! [1]", "true"},
      {"b: make bitset! [1] same? b b", "true"},
      {"same? b copy b", "false"},
      {"b = copy b", "true"},
      {"c: copy b append c 2 b", "make bitset! #{40}"},
      {"complement b", "make bitset! [not #{40}]"},
      {"negate complement b", "make bitset! #{40}"},
      {"b = 1", "false"},
  });
}

TEST_F(Bitset, SetOperations) {
  // a = {1}, b = {1 2 9}; na = everything but 1, nb = everything but 1 2 9.
  expect_all({
      {"a: make bitset! [1] b: make bitset! [1 2 9] or~ a b", "make bitset! #{6040}"},
      {"and~ a b", "make bitset! #{40}"},
      {"and~ b a", "make bitset! #{40}"},
      {"xor~ a b", "make bitset! #{2040}"},
      {"na: complement a nb: complement b or~ na b", "make bitset! [not #{0000}]"},
      {"and~ na nb", "make bitset! [not #{6040}]"},
      {"and~ na b", "make bitset! #{2040}"},
      {"and~ b na", "make bitset! #{2040}"},
      {"or~ na nb", "make bitset! [not #{4000}]"},
      {"xor~ na nb", "make bitset! #{2040}"},
      {"xor~ na b", "make bitset! [not #{2040}]"},
      {"pick and~ na nb 3", "true"},
      {"pick and~ na nb 2", "false"},
      {"pick or~ na b 1000", "true"},
      {"or~ a 1", "!! script invalid-type"},
  });
  set("a", cell{});
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

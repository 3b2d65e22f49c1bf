// integer! with the operands the language cannot write yet (time!); the language-level cases
// are in tests/scripts/numbers/integer.kaz.
#include "number_calls.h"

namespace kaz::testing {
namespace {

TEST_F(Numbers, IntegerWithTimes) {
  const cell integer = Dt(type::integer);
  EXPECT_EQ(action(S::to, {integer, Tm(1.6)}), "2");
  EXPECT_EQ(action(S::to, {integer, Tm(-1.7)}), "-2");
  EXPECT_EQ(action(S::to, {integer, Tm(-1.2)}), "-1");
  EXPECT_EQ(action(S::to, {integer, Tm(3e9)}), "!! script type-limit");
  EXPECT_EQ(native("equal?", {I(0), Tm(0)}), "true");
  EXPECT_EQ(native("lesser?", {I(1), Tm(1.5)}), "true");
  cell out;
  action(S::add, {I(1), Tm(1.5)}, {}, &out);
  EXPECT_EQ(type_of(&out), type::time);
  EXPECT_EQ(get_double(&out), 2.5);
  action(S::round, {I(17), Tm(5)}, round_refs(true, {}), &out);
  EXPECT_EQ(type_of(&out), type::time);
  EXPECT_EQ(get_double(&out), 15.0);
}

TEST_F(Numbers, IntegerFromFileText) {
  EXPECT_EQ(action(S::to, {Dt(type::integer), Bytes("12a", type::file)}), "!! script bad-to-arg");
  EXPECT_EQ(action(S::to, {Dt(type::pair), Bytes("3x4", type::file)}), "!! script bad-to-arg");
}

}  // namespace
}  // namespace kaz::testing

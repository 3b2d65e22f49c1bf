// tuple!: saturating byte arithmetic, comparison, conversions, paths and reverse.
#include "scalar_harness.h"

namespace kaz::scalar_test {
namespace {

using Tuple = Scalars;

TEST_F(Tuple, ArithmeticSaturates) {
  set("a", tuple_value({1, 2, 3}));
  set("b", tuple_value({250, 250, 250}));
  set("c", tuple_value({1, 1, 1, 1}));
  set("d", tuple_value({10, 20, 30}));
  set("e", tuple_value({255, 0, 0}));
  set("f", tuple_value({15, 15, 15}));
  set("g", tuple_value({200, 200, 200}));
  set("z", tuple_value({0, 0, 0}));
  set("x", float_value(1.5));
  set("big", integer_value(2147483647));
  expect_all({
      {"a + 1", "2.3.4"},
      {"b + 10", "255.255.255"},
      {"a - 5", "0.0.0"},
      {"a + c", "2.3.4.1"},
      {"d * x", "15.30.45"},
      {"and~ e f", "15.0.0"},
      {"or~ a 8", "9.10.11"},
      {"xor~ a a", "0.0.0"},
      {"z - 1", "0.0.0"},
      {"g * 2", "255.255.255"},
      {"g * big", "255.255.255"},
      {"g - big", "0.0.0"},
      {"a / 0", "!! math zero-divide"},
      {"remainder a 0", "!! math zero-divide"},
      {"d / 3", "3.6.10"},
      {"remainder d 7", "3.6.2"},
      {"d / a", "10.10.10"},
      {"a / d", "0.0.0"},
      {"c / a", "!! math zero-divide"},
      {"complement make tuple! [0 255 16]", "255.0.239"},
      {"length? c", "4"},
      {"a + none", "!! script expect-arg"},
  });
  set("ch", cell{type::char_, 0, 65, 0});
  set("zero", float_value(0.0));
  EXPECT_EQ(run("a + ch"), "!! script invalid-type");
  EXPECT_EQ(run("d / zero"), "255.255.255");
  EXPECT_EQ(run("d + x"), "11.21.31");
}

TEST_F(Tuple, NumbersInFrontAreSwapped) {
  // integer! and float! hand a tuple! second operand over to the tuple arithmetic.
  struct {
    cell first;
    int32_t op;
    const char* result;
  } cases[] = {
      {integer_value(2), 2, "2.4.6"},
      {integer_value(5), 0, "6.7.8"},
      {integer_value(5), 1, "!! script not-related"},
      {float_value(2.0), 3, "!! script not-related"},
  };
  for (auto& c : cases) {
    stack::saved_state saved = stack::save();
    stack::arguments = stack::top;
    stack::push(&c.first);
    cell t = tuple_value({1, 2, 3});
    stack::push(&t);
    std::string out;
    try {
      tuple_type::math(c.op);
      out = molded(stack::arguments);
    } catch (const language_error&) {
      out = "!! " + error::type_name(&error::in_flight) + " " + error::id_name(&error::in_flight);
    }
    stack::unwind_to(saved);
    EXPECT_EQ(out, c.result) << c.op;
  }
}

TEST_F(Tuple, Comparison) {
  set("a", tuple_value({1, 2, 3}));
  set("a0", tuple_value({1, 2, 3, 0}));
  set("b", tuple_value({1, 2, 4}));
  set("c", tuple_value({1, 2, 3, 200}));
  expect_all({
      {"a = a0", "true"},
      {"b > c", "true"},
      {"a < c", "true"},
      {"a = b", "false"},
      {"a = 1", "false"},
      {"a < 1", "!! script invalid-compare"},
  });
}

TEST_F(Tuple, MakeAndTo) {
  set("i3", cell{type::issue, 0, symbol::make("F80"), 0});
  set("i6", cell{type::issue, 0, symbol::make("FF8800"), 0});
  set("i8", cell{type::issue, 0, symbol::make("ff880080"), 0});
  set("i5", cell{type::issue, 0, symbol::make("12345"), 0});
  set("ig", cell{type::issue, 0, symbol::make("FG0"), 0});
  set("fl", float_value(7.9));
  set("ch", cell{type::char_, 0, 65, 0});
  expect_all({
      {"to tuple! [1 2]", "1.2.0"},
      {"to tuple! []", "0.0.0"},
      {"make tuple! [1 2 3 4 5 6 7 8 9 10 11 12]", "1.2.3.4.5.6.7.8.9.10.11.12"},
      {"to tuple! [1 2 3 4 5 6 7 8 9 10 11 12 13]", "!! script bad-to-arg"},
      {"to tuple! [256 0 0]", "!! script bad-to-arg"},
      {"to tuple! [-1 0 0]", "!! script bad-to-arg"},
      {"to tuple! [a]", "!! script bad-to-arg"},
      {"to tuple! reduce [fl ch 3]", "7.65.3"},
      {"to tuple! i3", "255.136.0"},
      {"to tuple! i6", "255.136.0"},
      {"to tuple! i8", "255.136.0.128"},
      {"to tuple! i5", "!! script invalid-data"},
      {"to tuple! ig", "!! script invalid-data"},
      {"to tuple! none", "!! script bad-to-arg"},
  });
}

TEST_F(Tuple, PathsPickAndReverse) {
  set("t0", tuple_value({1, 2, 3, 4}));
  expect_all({
      {"t0/2", "2"},
      {"pick t0 4", "4"},
      {"pick t0 5", "!! script out-of-range"},
      {"pick t0 0", "!! script out-of-range"},
      {"t0/5", "!! script out-of-range"},
      {"t: t0 t/2: 300 t", "1.255.3.4"},
      {"t: t0 t/2: -3 t", "1.0.3.4"},
      {"t: t0 t/4: none t", "1.2.3"},
      {"t: t0 t/2: none t", "1.0.0"},
      {"t: t0 t/2: \"x\"", "!! script invalid-type"},
      {"t: t0 t/x", "!! script invalid-type"},
      {"reverse t0", "4.3.2.1"},
      {"reverse/part t0 2", "2.1.3.4"},
      {"reverse/part t0 -1", "!! script out-of-range"},
      {"reverse/part t0 9", "4.3.2.1"},
      {"t0", "1.2.3.4"},
  });
  // /skip through the slot itself (records of skip bytes swapped as units).
  struct {
    int32_t part, skip;
    const char* result;
  } cases[] = {
      {-1, 2, "5.6.3.4.1.2"},  {6, 6, "1.2.3.4.5.6"},
      {4, 2, "3.4.1.2.5.6"},   {-1, 3, "4.5.6.1.2.3"},
      {-1, 1, "6.5.4.3.2.1"},  {-1, 4, "!! script invalid-refine-arg"},
      {-1, 0, "!! script out-of-range"}, {2, 3, "!! script invalid-refine-arg"},
  };
  for (auto& c : cases) {
    cell t = tuple_value({1, 2, 3, 4, 5, 6});
    cell part = integer_value(c.part), skip = integer_value(c.skip);
    std::string out;
    try {
      registry::row(type::tuple).reverse(&t, c.part >= 0 ? &part : nullptr, &skip);
      out = molded(&t);
    } catch (const language_error&) {
      out = "!! " + error::type_name(&error::in_flight) + " " + error::id_name(&error::in_flight);
    }
    EXPECT_EQ(out, c.result) << c.part << " " << c.skip;
  }
}

}  // namespace
}  // namespace kaz::scalar_test

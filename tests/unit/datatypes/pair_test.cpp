// pair!: integral arithmetic that moves to point2D! when it cannot stay exact, paths, pick,
// rounding, conversions and text.
#include "number_calls.h"

namespace kaz::testing {
namespace {

TEST_F(Numbers, PairArithmetic) {
  struct {
    S slot;
    cell a, b;
    const char* result;
  } cases[] = {
      {S::add, P(1, 2), P(3, 4), "4x6"},
      {S::multiply, P(1, 2), I(3), "3x6"},
      {S::divide, P(4, 6), I(2), "2x3"},
      {S::divide, P(3, 3), I(2), "(1.5, 1.5)"},
      {S::add, P(2147483647, 0), I(1), "(2.147484e9, 1)"},
      {S::multiply, P(1, 2), F(1.5), "(1.5, 3)"},
      {S::add, P(1, 2), F(1.5), "2x3"},
      {S::add, P(2, 3), F(1.7), "3x4"},
      {S::divide, P(10, 10), F(HUGE_VAL), "(0, 0)"},
      {S::divide, P(10, 10), F(std::nan("")), "!! script invalid-arg"},
      {S::multiply, P(10, 10), F(HUGE_VAL), "!! script invalid-arg"},
      {S::add, P(10, 10), F(HUGE_VAL), "!! script invalid-arg"},
      {S::add, P(10, 10), F(1e10), "!! script type-limit"},
      {S::add, P(1, 2), P2(0.5f, 0.5f), "(1.5, 2.5)"},
      {S::remainder, P(7, 8), I(3), "1x2"},
      {S::divide, P(7, 8), I(0), "!! math zero-divide"},
      {S::and_t, P(6, 7), I(3), "2x3"},
      {S::xor_t, P(6, 7), P(1, 1), "7x6"},
      {S::add, P(1, 2), C('A'), "!! script invalid-type"},
      {S::subtract, P(5, 5), P3(1, 1, 1), "!! script invalid-type"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(action(c.slot, {c.a, c.b}), c.result) << molded(c.a) << " " << c.slot << " "
                                                      << molded(c.b);
}

TEST_F(Numbers, PairUnaryActions) {
  EXPECT_EQ(action(S::negate, {P(1, -2)}), "-1x2");
  EXPECT_EQ(action(S::negate, {P(-2147483647 - 1, 0)}), "!! math overflow");
  EXPECT_EQ(action(S::absolute, {P(-1, -2)}), "1x2");
  EXPECT_EQ(action(S::absolute, {P(0, -2147483647 - 1)}), "!! math overflow");
  EXPECT_EQ(action(S::reverse, {P(1, 2)}), "2x1");
  EXPECT_EQ(action(S::round, {P(17, 24), I(5)}, round_refs(true, {})), "15x25");
  EXPECT_EQ(action(S::round, {P(17, 24), P(5, 10)}, round_refs(true, {})), "15x20");
  EXPECT_EQ(action(S::round, {P(17, -24), F(2.5)}, round_refs(true, {down})), "15x-22");
  EXPECT_EQ(action(S::round, {P(2147483647, 0), I(2)}, round_refs(true, {})), "!! math overflow");
}

TEST_F(Numbers, PairPickAndPaths) {
  EXPECT_EQ(action(S::pick, {P(1, 2), I(2)}), "2");
  EXPECT_EQ(action(S::pick, {P(1, 2), W("x")}), "1");
  EXPECT_EQ(action(S::pick, {P(1, 2), I(3)}), "!! script out-of-range");
  EXPECT_EQ(action(S::pick, {P(1, 2), W("z")}), "!! script cannot-use");

  const auto& row = registry::row(type::pair);
  cell p = P(1, 2);
  cell x = W("x"), y = W("Y"), five = I(5);
  EXPECT_EQ(molded(*row.eval_path(&p, &y, nullptr, nullptr, nullptr, nullptr, 1, false, true,
                                  true)),
            "2");
  row.eval_path(&p, &x, &five, nullptr, nullptr, nullptr, 1, false, false, true);
  EXPECT_EQ(molded(p), "5x2");
  cell z = W("z"), f = F(1.0);
  EXPECT_EQ(call_entry(function::action_table_entry(slot::eval_path), "eval-path", {p, z}),
            "!! script invalid-path");
  EXPECT_EQ(call_entry(function::action_table_entry(slot::eval_path), "eval-path", {p, x, f}),
            "!! script invalid-type");
}

TEST_F(Numbers, PairConversionsAndText) {
  const cell pair = Dt(type::pair);
  auto block_of = [](std::initializer_list<cell> items) {
    cell b;
    block::init_cell(&b, 4);
    for (const cell& i : items) block::append_copy(&b, &i);
    return b;
  };
  struct {
    cell spec;
    const char* result;
  } cases[] = {
      {I(3), "3x3"},
      {F(-2.7), "-2x-2"},
      {F(1e10), "!! script type-limit"},
      {P2(1.9f, -1.9f), "1x-1"},
      {P2(HUGE_VALF, 0), "!! script invalid-arg"},
      {block_of({I(1), I(2), I(3)}), "1x2"},
      {block_of({F(1.5), I(2)}), "1x2"},
      {block_of({I(1)}), "!! syntax malconstruct"},
      {block_of({I(1), C('a')}), "!! syntax malconstruct"},
      {L(true), "!! script bad-to-arg"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(action(S::to, {pair, c.spec}), c.result) << molded(c.spec);
  EXPECT_EQ(molded(P(-1, -2)), "-1x-2");
  EXPECT_EQ(formed(P(-2147483647 - 1, 2147483647)), "-2147483648x2147483647");
}

TEST_F(Numbers, PairComparisons) {
  EXPECT_EQ(native("equal?", {P(1, 2), P(1, 2)}), "true");
  EXPECT_EQ(native("greater?", {P(1, 3), P(1, 2)}), "true");
  EXPECT_EQ(native("greater?", {P(2, 0), P(1, 9)}), "true");
  EXPECT_EQ(native("equal?", {P(1, 2), P2(1, 2)}), "true");
  EXPECT_EQ(native("strict-equal?", {P(1, 2), P2(1, 2)}), "false");
  EXPECT_EQ(native("lesser?", {P(1, 2), P2(1, 2.5f)}), "true");
  EXPECT_EQ(native("lesser?", {P(1, 2), I(1)}), "!! script invalid-compare");
}

}  // namespace
}  // namespace kaz::testing

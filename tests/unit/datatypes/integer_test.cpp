// integer!: arithmetic with its overflow into float!, division, remainder, round, power,
// conversions, text and comparison.
#include "number_calls.h"

namespace kaz::testing {
namespace {

struct binary_case {
  S slot;
  cell a, b;
  const char* result;
};

TEST_F(Numbers, IntegerArithmetic) {
  const binary_case cases[] = {
      {S::add, I(1), I(2), "3"},
      {S::add, I(2147483647), I(1), "2147483648.0"},
      {S::subtract, I(-2147483647 - 1), I(1), "-2147483649.0"},
      {S::multiply, I(65536), I(65536), "4294967296.0"},
      {S::multiply, I(-3), I(7), "-21"},
      {S::divide, I(7), I(2), "3.5"},
      {S::divide, I(6), I(3), "2"},
      {S::divide, I(-6), I(3), "-2"},
      {S::divide, I(1), I(0), "!! math zero-divide"},
      {S::divide, I(-2147483647 - 1), I(-1), "!! math overflow"},
      {S::remainder, I(-7), I(2), "-1"},
      {S::remainder, I(7), I(-2), "1"},
      {S::remainder, I(7), I(0), "!! math zero-divide"},
      {S::remainder, I(-2147483647 - 1), I(-1), "!! math overflow"},
      {S::and_t, I(12), I(10), "8"},
      {S::or_t, I(12), I(10), "14"},
      {S::xor_t, I(12), I(10), "6"},
      {S::add, I(1), F(0.5), "1.5"},
      {S::add, I(1), Pc(0.1), "1.1"},
      {S::add, I(1), C('A'), "66"},
      {S::add, I(3), P(1, 2), "4x5"},
      {S::subtract, I(10), P(3, 4), "7x6"},
      {S::subtract, I(3), P(1, 2), "2x1"},
      {S::multiply, I(2), P(3, 4), "6x8"},
      {S::divide, I(3), P(1, 2), "!! script not-related"},
      {S::subtract, I(1), P(-2147483647 - 1, 0), "!! math overflow"},
      {S::add, I(1), P2(0.5f, 1), "(1.5, 2)"},
      {S::subtract, I(1), P2(0.5f, 1), "(0.5, 0)"},
      {S::divide, I(1), P2(0.5f, 1), "!! script not-related"},
      {S::add, I(1), L(true), "!! script invalid-type"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(action(c.slot, {c.a, c.b}), c.result) << molded(c.a) << " " << c.slot << " " << molded(c.b);
}

TEST_F(Numbers, IntegerUnaryActions) {
  EXPECT_EQ(action(S::absolute, {I(-5)}), "5");
  EXPECT_EQ(action(S::absolute, {I(-2147483647 - 1)}), "!! math overflow");
  EXPECT_EQ(action(S::negate, {I(5)}), "-5");
  EXPECT_EQ(action(S::negate, {I(-2147483647 - 1)}), "!! math overflow");
  EXPECT_EQ(action(S::complement, {I(0)}), "-1");
  EXPECT_EQ(action(S::even_q, {I(-4)}), "true");
  EXPECT_EQ(action(S::odd_q, {I(-3)}), "true");
  EXPECT_EQ(action(S::odd_q, {I(2)}), "false");
}

TEST_F(Numbers, IntegerRound) {
  struct {
    int32_t value;
    cell scale;
    std::vector<int> flags;
    const char* result;
  } cases[] = {
      {17, I(5), {}, "15"},
      {15, I(10), {}, "20"},
      {-15, I(10), {}, "-20"},
      {-17, I(5), {down}, "-15"},
      {25, I(10), {even}, "20"},
      {35, I(10), {even}, "40"},
      {25, I(10), {half_down}, "20"},
      {-25, I(10), {half_ceiling}, "-20"},
      {25, I(10), {half_ceiling}, "30"},
      {-21, I(10), {floor_}, "-30"},
      {21, I(10), {floor_}, "20"},
      {-29, I(10), {ceiling}, "-20"},
      {21, I(10), {ceiling}, "30"},
      {17, I(-5), {}, "15"},
      {7, I(0), {}, "7"},
      {2147483647, I(2), {floor_}, "!! math overflow"},
      {2147483647, I(2), {down}, "2147483646"},
      {2147483647, I(-2147483647 - 1), {}, "!! math overflow"},
      {-2147483647 - 1, I(3), {}, "-2147483648"},
      {7, F(2.0), {}, "8.0"},
      {26, F(0.5), {}, "26.0"},
      {5, Pc(0.1), {}, "500%"},
  };
  for (const auto& c : cases) {
    std::string r = action(S::round, {I(c.value), c.scale}, round_refs(true, c.flags));
    EXPECT_EQ(r, c.result) << c.value << " " << molded(c.scale);
  }
  EXPECT_EQ(action(S::round, {I(-2147483647 - 1)}, round_refs(false, {})), "-2147483648");
  EXPECT_EQ(action(S::round, {I(12)}, round_refs(false, {})), "12");
}

TEST_F(Numbers, IntegerPower) {
  EXPECT_EQ(action(S::power, {I(2), I(10)}), "1024");
  EXPECT_EQ(action(S::power, {I(2), I(31)}), "2147483648.0");
  EXPECT_EQ(action(S::power, {I(2), I(40)}), "1099511627776.0");
  EXPECT_EQ(action(S::power, {I(-2), I(31)}), "-2147483648");
  EXPECT_EQ(action(S::power, {I(2), I(-1)}), "0.5");
  EXPECT_EQ(action(S::power, {I(7), I(0)}), "1");
  EXPECT_EQ(action(S::power, {I(4), F(0.5)}), "2.0");
  EXPECT_EQ(action(S::power, {I(4), Pc(0.5)}), "!! script expect-arg");
}

TEST_F(Numbers, IntegerConversions) {
  const cell integer = Dt(type::integer);
  struct {
    cell spec;
    const char* result;
  } cases[] = {
      {I(5), "5"},
      {C(65), "65"},
      {F(2.9), "2"},
      {F(-2.9), "-2"},
      {F(-2147483648.0), "-2147483648"},
      {F(2147483647.9), "2147483647"},
      {F(2147483648.0), "!! script type-limit"},
      {F(-2147483649.0), "!! script type-limit"},
      {F(std::nan("")), "!! script type-limit"},
      {F(HUGE_VAL), "!! script type-limit"},
      {Pc(0.5), "0"},
      {Pc(1.5), "1"},
      {Tm(1.6), "2"},
      {Tm(-1.7), "-1"},
      {Issue("FF"), "255"},
      {Issue("ffffffff"), "-1"},
      {Issue("123456789"), "!! script invalid-data"},
      {Issue("12G"), "!! script invalid-data"},
      {L(true), "!! script bad-to-arg"},
      {P(1, 2), "!! script bad-to-arg"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(action(S::to, {integer, c.spec}), c.result) << molded(c.spec);
  EXPECT_EQ(action(S::make, {integer, L(true)}), "1");
  EXPECT_EQ(action(S::make, {integer, L(false)}), "0");
  EXPECT_EQ(action(S::make, {integer, F(3.7)}), "3");
}

TEST_F(Numbers, IntegerText) {
  EXPECT_EQ(molded(I(0)), "0");
  EXPECT_EQ(molded(I(-42)), "-42");
  EXPECT_EQ(molded(I(-2147483647 - 1)), "-2147483648");
  EXPECT_EQ(formed(I(2147483647)), "2147483647");
}

TEST_F(Numbers, IntegerComparisons) {
  struct {
    const char* native;
    cell a, b;
    const char* result;
  } cases[] = {
      {"equal?", I(65), C('A'), "true"},
      {"strict-equal?", I(65), C('A'), "false"},
      {"equal?", I(1), F(1.0), "true"},
      {"strict-equal?", I(1), F(1.0), "false"},
      {"lesser?", I(1), F(1.5), "true"},
      {"greater?", I(2), Pc(0.5), "true"},
      {"equal?", I(0), Tm(0), "true"},
      {"lesser?", I(-1), I(1), "true"},
      {"greater-or-equal?", I(1), I(1), "true"},
      {"equal?", I(1), P(1, 1), "false"},
      {"lesser?", I(1), P(1, 1), "!! script invalid-compare"},
      {"not-equal?", I(1), L(true), "true"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(native(c.native, {c.a, c.b}), c.result)
        << c.native << " " << molded(c.a) << " " << molded(c.b);
}

}  // namespace
}  // namespace kaz::testing

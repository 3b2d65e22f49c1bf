// float! and percent!: IEEE arithmetic, near-equality, exact orderings with NaN and -0.0,
// rounding with every refinement, conversions and text.
#include "datatypes/float.h"

#include "number_calls.h"

namespace kaz::testing {
namespace {

const double nan_ = std::nan("");
const double inf = HUGE_VAL;

TEST_F(Numbers, FloatArithmetic) {
  struct {
    S slot;
    cell a, b;
    const char* result;
  } cases[] = {
      {S::add, F(0.1), F(0.2), "0.30000000000000004"},
      {S::divide, F(1.0), I(0), "1.#INF"},
      {S::divide, F(-1.0), I(0), "-1.#INF"},
      {S::divide, F(0.0), I(0), "1.#NaN"},
      {S::remainder, F(5.5), I(2), "1.5"},
      {S::remainder, F(-5.5), I(2), "-1.5"},
      {S::remainder, F(5.0), F(inf), "5.0"},
      {S::remainder, F(inf), F(inf), "1.#NaN"},
      {S::remainder, F(5.0), F(nan_), "1.#NaN"},
      {S::multiply, F(1.5), C('A'), "97.5"},
      {S::add, F(1.0), Pc(0.5), "1.5"},
      {S::add, Pc(0.1), I(1), "110%"},
      {S::multiply, Pc(0.1), Pc(0.1), "1%"},
      {S::add, Pc(0.1), C('A'), "!! script invalid-type"},
      {S::multiply, F(2.0), P(3, 4), "(6, 8)"},
      {S::add, F(1.5), P(1, 2), "2x3"},
      {S::subtract, F(1.0), P(1, 2), "!! script not-related"},
      {S::divide, F(1.0), P2(1, 2), "!! script not-related"},
      {S::add, F(1.0), L(true), "!! script invalid-type"},
      {S::and_t, F(1.0), F(1.0), "!! script expect-arg"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(action(c.slot, {c.a, c.b}), c.result) << molded(c.a) << " " << c.slot << " "
                                                      << molded(c.b);
}

TEST_F(Numbers, FloatUnaryActionsAndPower) {
  EXPECT_EQ(action(S::negate, {F(0.0)}), "0.0");
  EXPECT_EQ(action(S::negate, {F(2.5)}), "-2.5");
  EXPECT_EQ(action(S::absolute, {F(-2.5)}), "2.5");
  EXPECT_EQ(action(S::absolute, {Pc(-0.5)}), "50%");
  EXPECT_EQ(action(S::even_q, {F(4.7)}), "true");
  EXPECT_EQ(action(S::odd_q, {F(-3.2)}), "true");
  EXPECT_EQ(action(S::even_q, {F(1e20)}), "true");
  EXPECT_EQ(action(S::odd_q, {F(nan_)}), "false");
  EXPECT_EQ(action(S::power, {F(2.0), I(-1)}), "0.5");
  EXPECT_EQ(action(S::power, {Pc(0.5), I(2)}), "25%");
  EXPECT_EQ(action(S::power, {F(2.0), C('A')}), "!! script expect-arg");
}

TEST_F(Numbers, FloatComparisons) {
  struct {
    const char* native;
    cell a, b;
    const char* result;
  } cases[] = {
      {"equal?", F(0.1 + 0.2), F(0.3), "true"},
      {"strict-equal?", F(0.1 + 0.2), F(0.3), "false"},
      {"lesser-or-equal?", F(0.1 + 0.2), F(0.3), "false"},
      {"equal?", F(nan_), F(nan_), "false"},
      {"not-equal?", F(nan_), F(nan_), "true"},
      {"lesser?", F(nan_), F(1.0), "false"},
      {"greater?", F(nan_), F(1.0), "false"},
      {"lesser-or-equal?", F(1.0), F(nan_), "false"},
      {"greater-or-equal?", F(1.0), F(nan_), "false"},
      {"equal?", F(0.0), F(-0.0), "true"},
      {"strict-equal?", F(0.0), F(-0.0), "true"},
      {"same?", F(0.0), F(-0.0), "false"},
      {"same?", F(1.0), F(1.0), "true"},
      {"lesser?", F(-0.0), F(0.0), "false"},
      {"equal?", F(1.0), F(1.0 + 8 * 2.220446049250313e-16), "true"},
      {"equal?", F(1.0), F(1.0 + 16 * 2.220446049250313e-16), "false"},
      {"equal?", F(1e-300), F(-1e-300), "true"},
      {"equal?", Pc(0.5), F(0.5), "true"},
      {"strict-equal?", Pc(0.5), F(0.5), "false"},
      {"equal?", F(65.0), C('A'), "false"},
      {"equal?", F(2.0), I(2), "true"},
      {"lesser?", F(1.0), C('A'), "!! script invalid-compare"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(native(c.native, {c.a, c.b}), c.result)
        << c.native << " " << molded(c.a) << " " << molded(c.b);
}

TEST_F(Numbers, NearEqualityAcrossZeroAndThirtyTwoBits) {
  double tiny = 4.9e-324;
  EXPECT_TRUE(float_type::near_equal(tiny, -tiny));
  EXPECT_FALSE(float_type::near_equal(1.0, 1.0000001));
  EXPECT_TRUE(float_type::near_equal32(0.1f, 0.1f));
  EXPECT_TRUE(float_type::near_equal32(1.0f, std::nextafter(1.0f, 2.0f)));
  EXPECT_FALSE(float_type::near_equal32(1.0f, 1.001f));
  EXPECT_TRUE(float_type::near_equal32(0.0f, -0.0f));
  EXPECT_FALSE(float_type::near_equal32(std::nanf(""), std::nanf("")));
  EXPECT_TRUE(float_type::near_equal32(HUGE_VALF, 3.4028235e38f));
  EXPECT_FALSE(float_type::near_equal32(HUGE_VALF, -HUGE_VALF));
}

TEST_F(Numbers, FloatRound) {
  struct {
    cell value;
    std::vector<int> flags;
    const char* result;
  } plain[] = {
      {F(2.5), {}, "3.0"},
      {F(-2.5), {}, "-3.0"},
      {F(2.4), {}, "2.0"},
      {F(2.5), {even}, "2.0"},
      {F(3.5), {even}, "4.0"},
      {F(2.5), {half_down}, "2.0"},
      {F(-2.5), {half_ceiling}, "-2.0"},
      {F(2.5), {half_ceiling}, "3.0"},
      {F(-2.1), {floor_}, "-3.0"},
      {F(-2.7), {down}, "-2.0"},
      {F(2.1), {ceiling}, "3.0"},
      {F(-2.7), {down, floor_}, "-2.0"},
      {Pc(0.126), {}, "13%"},
      {Pc(0.126), {down}, "12%"},
      {F(inf), {}, "1.#INF"},
  };
  for (const auto& c : plain)
    EXPECT_EQ(action(S::round, {c.value}, round_refs(false, c.flags)), c.result)
        << molded(c.value);

  struct {
    cell value, scale;
    const char* result;
  } scaled[] = {
      {F(2.5), I(1), "3"},
      {F(1.26), F(0.1), "1.3"},
      {F(1.26), Pc(0.1), "130%"},
      {F(1e300), F(1e-300), "1.0e300"},
      {F(12.0), I(0), "12.0"},
      {F(7.0), I(-5), "5"},
      {Pc(0.12345), F(0.1), "0.123"},
      {Pc(0.12345), Pc(0.001), "12.345%"},
      {Pc(0.12345), I(1), "0"},
      {F(3e9), I(1), "!! math overflow"},
      {F(nan_), I(1), "!! math overflow"},
      {F(1.0), P(1, 1), "!! script not-related"},
      {F(1.5), F(5e-324), "1.5"},
      {F(1.7976931348623157e308), F(1.7976931348623157e308), "!! math overflow"},
  };
  for (const auto& c : scaled)
    EXPECT_EQ(action(S::round, {c.value, c.scale}, round_refs(true, {})), c.result)
        << molded(c.value) << " " << molded(c.scale);
}

TEST_F(Numbers, FloatConversions) {
  const cell f = Dt(type::float_), p = Dt(type::percent);
  const cell one = Bytes(std::string_view("\x3F\xF0\x00\x00\x00\x00\x00\x00", 8));
  const cell two = Bytes(std::string_view("\x40\x00", 2));
  struct {
    cell type, spec;
    const char* result;
  } cases[] = {
      {f, I(3), "3.0"},
      {f, C('A'), "65.0"},
      {f, Pc(0.5), "0.5"},
      {p, F(0.5), "50%"},
      {p, I(5), "500%"},
      {f, Tm(90), "90.0"},
      {f, one, "1.0"},
      {f, two, "8.095e-320"},
      {f, Bytes(""), "0.0"},
      {f, L(true), "!! script bad-to-arg"},
      {f, P(1, 2), "!! script bad-to-arg"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(action(S::to, {c.type, c.spec}), c.result) << molded(c.spec);
}

TEST_F(Numbers, FloatFromBlocks) {
  auto make_from = [](std::initializer_list<cell> items) {
    cell* b = block::push_only(4);
    for (const cell& i : items) block::append_copy(b, &i);
    std::string r = action(S::make, {Dt(type::float_), *b});
    stack::top--;
    return r;
  };
  EXPECT_EQ(make_from({F(1.5), I(3)}), "1500.0");
  EXPECT_EQ(make_from({I(1), I(2)}), "100.0");
  EXPECT_EQ(make_from({I(25), F(-1.9)}), "2.5");
  EXPECT_EQ(make_from({I(1), I(2), I(3)}), "!! script bad-to-arg");
  EXPECT_EQ(make_from({I(1), C('A')}), "!! script bad-to-arg");
}

TEST_F(Numbers, FloatAndPercentText) {
  struct {
    cell value;
    const char* form;
    const char* mold;
  } cases[] = {
      {F(0.1 + 0.2), "0.3", "0.30000000000000004"},
      {F(1e20), "1.0e20", "1.0e20"},
      {F(1e-5), "1.0e-5", "0.00001"},
      {F(42.0), "42.0", "42.0"},
      {F(1e-300), "0.0", "1.0e-300"},
      {F(-1.5), "-1.5", "-1.5"},
      {F(inf), "1.#INF", "1.#INF"},
      {F(-inf), "-1.#INF", "-1.#INF"},
      {F(nan_), "1.#NaN", "1.#NaN"},
      {Pc(0.5), "50%", "50%"},
      {Pc(0.125), "12.5%", "12.5%"},
      {Pc(1e-3), "0.1%", "0.1%"},
      {Pc(0.1), "10%", "10%"},
      {Pc(1.0), "100%", "100%"},
      {Pc(0.0), "0%", "0%"},
      {Pc(-0.25), "-25%", "-25%"},
      {Pc(inf), "1.#INF", "1.#INF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(formed(c.value), c.form);
    EXPECT_EQ(molded(c.value), c.mold);
  }
}

}  // namespace
}  // namespace kaz::testing

// float!: the near-equality rules themselves, and operands the language cannot write yet
// (time!); the language-level cases are in tests/scripts/numbers/float.kaz and percent.kaz.
#include "datatypes/float.h"

#include "number_calls.h"

namespace kaz::testing {
namespace {

TEST_F(Numbers, NearEqualityAcrossZeroAndThirtyTwoBits) {
  const double eps = 2.220446049250313e-16;
  EXPECT_TRUE(float_type::near_equal(1.0, 1.0 + 8 * eps));    // 8 units in the last place
  EXPECT_FALSE(float_type::near_equal(1.0, 1.0 + 16 * eps));  // 16
  EXPECT_TRUE(float_type::near_equal(4.9e-324, -4.9e-324));
  EXPECT_TRUE(float_type::near_equal(1e300, std::nextafter(1e300, HUGE_VAL)));
  EXPECT_FALSE(float_type::near_equal(1.0, 1.0000001));
  EXPECT_FALSE(float_type::near_equal(std::nan(""), std::nan("")));
  EXPECT_TRUE(float_type::near_equal32(0.1f, 0.1f));
  EXPECT_TRUE(float_type::near_equal32(1.0f, std::nextafter(1.0f, 2.0f)));
  EXPECT_FALSE(float_type::near_equal32(1.0f, 1.001f));
  EXPECT_TRUE(float_type::near_equal32(0.0f, -0.0f));
  EXPECT_TRUE(float_type::near_equal32(1e-45f, -1e-45f));
  EXPECT_FALSE(float_type::near_equal32(std::nanf(""), std::nanf("")));
  EXPECT_TRUE(float_type::near_equal32(HUGE_VALF, 3.4028235e38f));
  EXPECT_FALSE(float_type::near_equal32(HUGE_VALF, -HUGE_VALF));
}

TEST_F(Numbers, FloatWithTimes) {
  cell out;
  EXPECT_EQ(action(S::to, {Dt(type::float_), Tm(90)}), "90.0");
  action(S::multiply, {F(2.0), Tm(1.5)}, {}, &out);
  EXPECT_EQ(type_of(&out), type::time);
  EXPECT_EQ(get_double(&out), 3.0);
  action(S::subtract, {Pc(0.5), Tm(1)}, {}, &out);
  EXPECT_EQ(type_of(&out), type::time);
  action(S::round, {F(7.2), Tm(5)}, round_refs(true, {}), &out);
  EXPECT_EQ(type_of(&out), type::time);
  EXPECT_EQ(get_double(&out), 5.0);
  EXPECT_EQ(native("equal?", {F(90.0), Tm(90)}), "true");
  EXPECT_EQ(native("strict-equal?", {F(90.0), Tm(90)}), "false");
}

}  // namespace
}  // namespace kaz::testing

// Folding of angles for the trigonometric natives.
#include "runtime/angle.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kaz::sysrt {
namespace {

TEST(Angle, QuadrantPointsStayExact) {
  const double pi = 3.141592653589793;
  EXPECT_EQ(std::sin(angle_mod_360(540.0, angle_kind::sine)), 0.0);
  EXPECT_EQ(std::sin(angle_mod_360(180.0, angle_kind::sine)), 0.0);
  EXPECT_EQ(angle_mod_360(-270.0, angle_kind::cosine), 90.0 * pi / 180.0);
  EXPECT_EQ(angle_mod_360(225.0, angle_kind::tangent), 45.0 * pi / 180.0);
  EXPECT_EQ(angle_mod_360(-135.0, angle_kind::sine), -45.0 * pi / 180.0);
  EXPECT_EQ(angle_mod_360(30.0, angle_kind::cosine), 30.0 * pi / 180.0);
}

}  // namespace
}  // namespace kaz::sysrt

#include "runtime/angle.h"

#include <cmath>

namespace kaz::sysrt {

double angle_mod_360(double a, angle_kind kind) {
  a = std::fmod(a, 360.0);
  if (a > 180.0 || a < -180.0) a = a >= 0 ? a - 360.0 : a + 360.0;
  if (a > 90.0 || a < -90.0) {
    if (kind == angle_kind::tangent)
      a = a >= 0 ? a - 180.0 : a + 180.0;
    else if (kind == angle_kind::sine)
      a = a >= 0 ? 180.0 - a : -180.0 - a;
  }
  return a * 3.141592653589793 / 180.0;
}

}  // namespace kaz::sysrt

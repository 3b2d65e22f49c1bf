// Folding of angles for the trigonometric natives.
#pragma once

namespace kaz::sysrt {

enum class angle_kind { tangent = 0, cosine = 1, sine = 2 };

// The angle in degrees folded into the range where the function keeps exact values at the
// quadrant points (the sine of 180 degrees comes out as the sine of 0), in radians.
double angle_mod_360(double degrees, angle_kind kind);

}  // namespace kaz::sysrt

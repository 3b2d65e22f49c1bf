// point3D!: x, y and z in 32-bit floats, written (1, 2, 3). Its slots are the point
// family's (point.cpp).
#include "datatypes/point.h"
#include "datatypes/scalar_types.h"

namespace kaz::point3d_type {

void init() { registry::add(type::point3d, point::row()); }

}  // namespace kaz::point3d_type

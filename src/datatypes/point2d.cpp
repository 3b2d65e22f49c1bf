// point2D!: x and y in 32-bit floats, written (1.5, 2). Its slots are the point
// family's (point.cpp).
#include "datatypes/point.h"
#include "datatypes/scalar_types.h"

namespace kaz::point2d_type {

void init() { registry::add(type::point2d, point::row()); }

}  // namespace kaz::point2d_type

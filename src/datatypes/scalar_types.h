// Registration of the scalar datatypes, one init per datatype file.
#pragma once

#include <cstdint>

#include "core/scalar_cell.h"
#include "runtime/cell.h"

namespace kaz {
namespace integer_type { void init(); }
namespace char_type { void init(); }
namespace float_type { void init(); }
namespace percent_type { void init(); }
namespace pair_type {
void init();
inline int32_t x_of(const cell* p) { return static_cast<int32_t>(p->data2); }
inline int32_t y_of(const cell* p) { return static_cast<int32_t>(p->data3); }
}  // namespace pair_type
namespace point2d_type { void init(); }
namespace point3d_type { void init(); }
namespace triple_type { void init(); }
namespace bitset_type { void init(); }
namespace tuple_type { void init(); }
namespace time_type { void init(); }
namespace date_type { void init(); }
namespace money_type { void init(); }
}  // namespace kaz

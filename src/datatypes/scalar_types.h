// Registration of the scalar datatypes, one init per datatype file.
#pragma once

namespace kaz {
namespace integer_type { void init(); }
namespace char_type { void init(); }
namespace float_type { void init(); }
namespace percent_type { void init(); }
namespace pair_type { void init(); }
namespace point2d_type { void init(); }
namespace point3d_type { void init(); }
namespace triple_type { void init(); }
namespace bitset_type { void init(); }
namespace tuple_type { void init(); }
namespace time_type { void init(); }
namespace date_type { void init(); }
namespace money_type { void init(); }
}  // namespace kaz

// Registration of the datatypes, one init per datatype file.
#pragma once

namespace kaz {
namespace datatype_type { void init(); }
namespace unset_type { void init(); }
namespace none_type { void init(); }
namespace logic_type { void init(); }
}  // namespace kaz

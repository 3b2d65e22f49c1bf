// Registration of the scalar datatypes, one init per datatype file.
#pragma once

namespace kaz {
namespace integer_type { void init(); }
}  // namespace kaz

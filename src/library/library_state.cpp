// Whether the library's top level is running.
#include "library/library.h"

namespace kaz::library {

namespace detail {
bool defining = false;
}

bool defining() { return detail::defining; }

}  // namespace kaz::library

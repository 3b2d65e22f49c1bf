#include "view/view_routines.h"

#include "core/function.h"
#include "datatypes/handle.h"
#include "datatypes/integer.h"
#include "runtime/cell.h"

namespace kaz::view {

namespace {

// _stand-in-handle n: the handle! of widget n of the recording platform (0 is the null handle),
// so that faces shown without a terminal carry the same state as faces shown on one.
void stand_in_handle(cell* a) {
  int32_t n = integer_type::value_of(a);
  uint32_t value = n > 0 ? static_cast<uint32_t>(n) : 0;
  handle_type::box(value, value ? handle_type::class_::window : handle_type::class_::null);
}

}  // namespace

void init_routines() {
  function::register_routine(routine_index::stand_in_handle, stand_in_handle, type::handle);
}

}  // namespace kaz::view

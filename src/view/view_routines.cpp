#include "view/view_routines.h"

#include "core/function.h"
#include "datatypes/handle.h"
#include "datatypes/integer.h"
#include "datatypes/simple_types.h"
#include "platform/terminal.h"
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

// _on-terminal?: whether windows can be drawn and driven: both standard input and output are
// terminals. Without one, windows go to the recording platform (no frame written to a file or
// pipe, no event loop waiting for keys that cannot come).
void on_terminal_q(cell*) {
  tty::init();  // start-up asks before the console has set the terminal layer up
  logic_type::box(tty::input_is_terminal() && tty::output_is_terminal());
}

}  // namespace

void init_routines() {
  function::register_routine(routine_index::stand_in_handle, stand_in_handle, type::handle);
  function::register_routine(routine_index::on_terminal_q, on_terminal_q, type::logic);
}

}  // namespace kaz::view

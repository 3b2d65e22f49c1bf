#include "console/console_routines.h"

#include "console/console_engine.h"
#include "console/console_settings.h"
#include "console/line_editor.h"
#include "core/function.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "datatypes/integer.h"
#include "datatypes/scalar_types.h"
#include "datatypes/simple_types.h"
#include "memory/series.h"
#include "platform/terminal.h"
#include "platform/terminal_input.h"
#include "runtime/fault_signals.h"

namespace kaz::console {

namespace {

void set_unset(cell* a) { a->header = type::unset; }

// _set-buffer-history line hist: binds the line buffer and the history for the next edit.
void set_buffer_history(cell* a) {
  terminal::setup(a, a + 1);
  set_unset(a);
}

// _read-input prompt hidden?: reads the line into the bound buffer. Answers false when
// standard input had already ended.
void read_input(cell* a) {
  bool hidden = type_of(a + 1) == type::logic && logic_type::value_of(a + 1) != 0;
  bool got = terminal::edit(a, hidden);
  a->header = type::logic;
  a->data1 = got ? 1 : 0;
}

void terminate_console(cell* a) { set_unset(a); }

// input-stdin: one line of standard input in a new string.
void input_stdin(cell* a) {
  string::make_at(a, 256);
  terminal::stdin_readline(a);
}

// read-stdin buffer buflen: raw bytes of standard input appended to the binary (grown to room
// for them), at most buflen.
void read_stdin(cell* a) {
  cell buffer = a[0];
  int32_t want = integer_type::value_of(a + 1);
  set_unset(a);
  if (want <= 0) return;
  series_buffer* s = memory::buffer_of(series::node_of(&buffer));
  uint64_t need = uint64_t(s->tail) + uint32_t(want);
  if (need > memory::max_series_bytes) return;
  if (need > s->size) s = memory::expand_series_copy(s, static_cast<uint32_t>(need));
  size_t got = tty::read_bytes(s->data_rw() + s->tail, static_cast<size_t>(want));
  memory::buffer_of(series::node_of(&buffer))->tail += static_cast<uint32_t>(got);
}

// system/console/init str: the window title, the terminal, the editor's saved line, and the
// console size (80x50 when nothing could measure it). From here on Ctrl-C halts evaluations.
void init(cell* a) {
  std::string title = string::to_utf8(a);
  terminal::init();
  tty::set_title(title);
  terminal::init_globals();
  if (const cell* size = terminal::console_size_field()) {
    if (type_of(size) != type::pair || pair_type::x_of(size) == 0 || pair_type::y_of(size) == 0)
      *terminal::console_size_field_rw() = cell{type::pair, 0, 80, 50};
  }
  sysrt::arm_interrupts();
  set_unset(a);
}

void input_ended_q(cell* a) {
  a->header = type::logic;
  a->data1 = tty::input_ended() ? 1 : 0;
}

// _new-line-buffer: the line buffer of one `ask`.
void new_line_buffer(cell* a) { string::make_at(a, 1); }

}  // namespace

void init_routines() {
  function::register_routine(routine_index::set_buffer_history, set_buffer_history, -1);
  function::register_routine(routine_index::read_input, read_input, type::logic);
  function::register_routine(routine_index::terminate_console, terminate_console, -1);
  function::register_routine(routine_index::input_stdin, input_stdin, type::string);
  function::register_routine(routine_index::read_stdin, read_stdin, -1);
  function::register_routine(routine_index::init, init, -1);
  function::register_routine(routine_index::input_ended_q, input_ended_q, type::logic);
  function::register_routine(routine_index::read_argument, read_argument, -1);
  function::register_routine(routine_index::transcode_trace, transcode_trace, -1);
  function::register_routine(routine_index::do_command, do_command, -1);
  function::register_routine(routine_index::eval_command, eval_command, -1);
  function::register_routine(routine_index::new_line_buffer, new_line_buffer, type::string);
  function::register_routine(routine_index::launch, launch_engine, -1);
  function::register_routine(routine_index::fill_options, fill_options, -1);
  function::register_routine(routine_index::apply_cfg, apply_cfg, -1);
  function::register_routine(routine_index::save_cfg, save_cfg, -1);
  function::register_routine(routine_index::load_cfg, load_cfg, -1);
}

}  // namespace kaz::console

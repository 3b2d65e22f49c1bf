// The console's routines: the C++ entries of `ask`, `input`, the raw standard-input readers,
// the console engine and its settings, declared from the console's Kaz source by their index
// (200 on).
#pragma once

#include <cstdint>

namespace kaz::console {

namespace routine_index {
enum : uint32_t {
  set_buffer_history = 200,
  read_input,
  terminate_console,
  input_stdin,
  read_stdin,
  init,
  input_ended_q,
  read_argument,
  transcode_trace,
  do_command,
  eval_command,
  new_line_buffer,
  launch,
  fill_options,
  apply_cfg,
  save_cfg,
  load_cfg,
};
}  // namespace routine_index

// Adds the console's entries to the routines table (start-up, before the library's top level).
void init_routines();

}  // namespace kaz::console

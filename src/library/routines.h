// The library's routines table: C++ entries, each declared from Kaz with `make routine!` and
// its index while the library's top level runs.
#pragma once

#include <cstdint>

namespace kaz::library {

// Indexes of the service routines (the type predicates use 101 on).
namespace routine_index {
enum : uint32_t {
  quit_return = 1,
  set_quiet,
  set_slot_quiet,
  shift_right,
  shift_left,
  shift_logical,
  last_lf_q,
  get_current_dir,
  set_current_dir,
  create_dir,
  exists_q,
  os_info,
  as_color,
  as_ipv4,
  as_rgba,
  count_chars,
  stack_size_q,
  pick_stack,
  frame_index_q,
  collect_calls,
  tracing_q,
  read_clipboard,
  write_clipboard,
  write_stdout,
  // Internal routines of the system object.
  interpreted_q = 30,
  gc_active_q,
  gc_series_cycles,
  gc_nodes_cycles,
  set_float_options,
  system_words,
  error_catalog,
  cache_dir,
  build_info,
  // The command line as the process received it, for extract-boot-args.
  command_args = 40,
  // Reactivity: the relations block holds its sources weakly.
  hold_sources_weakly,
  // The null handle! of the base constants.
  null_handle,
  // The image codecs: encode in the formats BMP, PNG, GIF, JPEG, TIFF (170-174), and decode.
  encode_bmp = 170,
  encode_png,
  encode_gif,
  encode_jpeg,
  encode_tiff,
  decode_image,
  // The trace tools' switch of a running trace.
  set_tracing = 230,
};
}  // namespace routine_index

// Fills the routines table (start-up, before the library's top level).
void init_routines();

}  // namespace kaz::library

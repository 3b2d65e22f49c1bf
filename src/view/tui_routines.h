// The routines of the terminal back-end, declared from src/view/10-backend.kaz by their index
// in the routines table (300 on).
#pragma once

#include <cstdint>

namespace kaz::tui {

namespace routine_index {
enum : uint32_t {
  gui_init = 300,
  event_q,
  send_event_os,
  find_flag_q,
  focused_q,
  widget_data,
  set_face_ui,
  make_null_handle,
  fetch_all_screens,
  get_screen_size,
  size_text,
  on_change_facet,
  update_text,
  update_font,
  update_para,
  destroy_view,
  detach_image,
  update_view,
  refresh_window,
  redraw,
  show_window,
  make_view,
  draw_image,
  draw_face,
  do_event_loop,
  exit_event_loop,
  request_font,
  request_file,
  request_dir,
  text_box_metrics,
  update_scroller,
  set_dark_mode,
  support_dark_mode_q,
  toggle_gpu,
};
}  // namespace routine_index

// Adds the back-end's entries to the routines table (start-up, before the library's top level).
void init_routines();

}  // namespace kaz::tui

// The event loop of the terminal windows, its timers, the terminal modes it sets and puts back,
// and the print hooks that keep printed text and a window from overwriting each other.
#include <poll.h>
#include <time.h>

#include <algorithm>
#include <csignal>
#include <cstdio>

#include "core/block_storage.h"
#include "core/symbol.h"
#include "datatypes/integer.h"
#include "datatypes/simple_types.h"
#include "eval/natives.h"
#include "platform/terminal.h"
#include "platform/terminal_input.h"
#include "runtime/fault_signals.h"
#include "runtime/output_hooks.h"
#include "runtime/runtime_error.h"
#include "view/tui_backend.h"

namespace kaz::tui {

namespace {

constexpr int32_t frame_ms = 33;

// What the restore hook must undo; read in a signal handler.
volatile sig_atomic_t mouse_on = 0;
volatile sig_atomic_t alt_on = 0;
volatile sig_atomic_t cursor_off = 0;
// The escape that moves the cursor below a window drawn inline: a way out that skips the event
// loop's own end (quit in an actor, a signal) writes it, so the shell's prompt is not put
// on the window's rows.
char leave_window[24];
volatile sig_atomic_t leave_window_length = 0;
bool outer_running = false;

int64_t now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void write_text(const char* s) {
  size_t n = 0;
  while (s[n]) ++n;
  write_raw(s, n);
}

void private_mode(int32_t mode, bool on) {
  char b[24];
  int n = std::snprintf(b, sizeof b, "\x1b[?%d%c", mode, on ? 'h' : 'l');
  write_raw(b, size_t(n));
}

void mouse_tracking(bool on) {
  for (int32_t m : {1000, 1003, 1015, 1006}) private_mode(m, on);
  mouse_on = on;
}

void enter_alt_screen() {
  if (!be.fullscreen || be.alt_screen || !be.raw) return;
  private_mode(1049, true);
  write_text("\x1b[2J");
  be.alt_screen = true;
  alt_on = 1;
}

void leave_alt_screen() {
  if (!be.alt_screen) return;
  private_mode(1049, false);
  be.alt_screen = false;
  alt_on = 0;
}

// Puts the terminal back on every way out of the process: an error report, quit, a signal.
// Only async-signal-safe calls.
void restore_terminal() {
  if (leave_window_length > 0) {
    tty::write_raw(leave_window, size_t(leave_window_length));
    leave_window_length = 0;
  }
  if (mouse_on) {
    const char s[] = "\x1b[?1000l\x1b[?1003l\x1b[?1015l\x1b[?1006l";
    tty::write_raw(s, sizeof s - 1);
    mouse_on = 0;
  }
  if (alt_on) {
    tty::write_raw("\x1b[?1049l", 8);
    alt_on = 0;
  }
  if (cursor_off) {
    tty::write_raw("\x1b[?25h", 6);
    cursor_off = 0;
  }
}

void update_screen_face() {
  const cell* view = system_view();
  const cell* screens = view ? field_named(view, symbol::make("screens")) : nullptr;
  if (!screens || type_of(screens) != type::block || block::rs_length(screens) < 1) return;
  cell list = *screens;
  cell first = *block::rs_head(&list);
  cell* screen = &first;
  if (cell* size = field_of_rw(screen, facet::size))
    *size = cell{type::pair, 0, uint32_t(be.screen_width), uint32_t(be.screen_height)};
}

void on_console_resize() {
  query_screen_size();
  update_screen_face();
  if (be.raw) broadcast_resize(be.screen_width, be.screen_height);
}

void query_origin() {
  if (be.fullscreen || !tty::input_is_terminal() || !tty::output_is_terminal()) return;
  int32_t row, column;
  if (tty::query_cursor(row, column)) {
    be.input.origin_row = row;
    be.input.cursor_column = column;
  }
}

// ---------------------------------------------------------------- input

void on_key(void*, int32_t character, int32_t named) { send_key_event(nullptr, character, named); }
void on_button(void*, int32_t code, float x, float y, uint32_t flags) {
  dispatch_mouse_button(code, x, y, flags);
}
void on_motion(void*, float x, float y, uint32_t flags) {
  if (be.active) route_mouse_move(be.active->root, x, y, flags | 0);
}
void on_wheel(void*, int32_t direction, float x, float y, uint32_t flags) {
  route_wheel(direction, x, y, flags);
}
constexpr input_sink sink{nullptr, on_key, on_button, on_motion, on_wheel};

// Reads what the terminal sent, waiting at most wait_ms; false when nothing came.
bool read_input(int32_t wait_ms) {
  // Without terminal input (redirected, or ended) the pass still waits out its frame, so timers
  // keep their pace and the loop never spins.
  if (!be.raw || tty::input_ended()) {
    if (wait_ms > 0) ::poll(nullptr, 0, wait_ms);
    return false;
  }
  uint8_t buffer[1024];
  bool resized = false;
  size_t got = tty::read_pending(buffer, sizeof buffer, wait_ms, resized);
  if (got) be.input.append(buffer, got);
  if (resized) on_console_resize();
  return got > 0;
}

void drop_input() {
  if (be.raw) {
    uint8_t sink_bytes[256];
    bool resized;
    while (tty::read_pending(sink_bytes, sizeof sink_bytes, 0, resized) > 0) {
    }
  }
  be.input.reset();
}

void leave_loop(bool nested) {
  if (nested) {
    drop_input();
    return;
  }
  end_inline_ui();
  if (be.mouse_tracking) {
    be.mouse_tracking = false;
    mouse_tracking(false);
  }
  leave_alt_screen();
  show_cursor();
  leave_raw_mode();
  drop_input();
  shutdown();
  outer_running = false;
  collect_graveyard();
}

bool platform_mouse_wanted() {
  cell* p = platform_object();
  const cell* m = p ? field_named(p, symbol::make("mouse-event?")) : nullptr;
  return m && type_of(m) == type::logic && logic_type::value_of(m);
}

void before_print() {
  if (!be.raw) return;
  erase_inline_ui();
  be.inline_drawn = false;
  std::fflush(nullptr);
}

void after_print() {
  if (!be.raw) return;
  be.dirty = true;
  query_origin();
}

}  // namespace

// ---------------------------------------------------------------- terminal control

void remember_rows_below(int32_t rows) {
  leave_window_length = 0;
  if (rows < 0) return;
  int n = rows > 0 ? std::snprintf(leave_window, sizeof leave_window, "\x1b[%dB\r\n", rows)
                   : std::snprintf(leave_window, sizeof leave_window, "\r\n");
  if (n > 0 && size_t(n) < sizeof leave_window) leave_window_length = n;
}

void write_raw(const char* data, size_t n) { tty::write_raw(data, n); }

void hide_cursor() {
  if (be.cursor_hidden) return;
  private_mode(25, false);
  be.cursor_hidden = true;
  cursor_off = 1;
}

void show_cursor() {
  if (!be.cursor_hidden) return;
  private_mode(25, true);
  be.cursor_hidden = false;
  cursor_off = 0;
}

void query_screen_size() {
  tty::window_size s = tty::query_size();
  be.screen_width = s.columns;
  be.screen_height = s.rows;
}

void enter_raw_mode() {
  if (!be.raw && tty::input_is_terminal() && tty::enter_raw_mode(true)) {
    on_console_resize();
    be.raw = true;
  }
  query_origin();
}

void leave_raw_mode() {
  if (!be.raw) return;
  tty::leave_raw_mode();
  be.raw = false;
}

void install_terminal_hooks() {
  tty::init();
  tty::init_input();
  sysrt::add_restore_hook(restore_terminal);
  sysrt::set_terminal_print_bracket(before_print, after_print);
  natives::do_events_once = do_events_once;
}

// ---------------------------------------------------------------- timers

void add_timer(widget* target, int32_t period) {
  timer* t = new timer();
  t->period = period;
  t->target = target;
  be.timers.push_back(t);
}

void kill_timer(widget* target) {
  for (size_t i = be.timers.size(); i-- > 0;) {
    timer* t = be.timers[i];
    if (t->target != target || t->killed) continue;
    t->killed = true;
    t->target = nullptr;
    if (be.timer_walks == 0) {
      be.timers.erase(be.timers.begin() + std::ptrdiff_t(i));
      delete t;
    }
    return;
  }
}

void fire_timers(int32_t elapsed) {
  ++be.timer_walks;
  size_t n = be.timers.size();
  for (size_t i = 0; i < n && i < be.timers.size(); ++i) {
    timer* t = be.timers[i];
    if (t->killed || !t->target) continue;
    t->accumulated += elapsed;
    if (t->fired || t->accumulated < t->period) continue;
    t->accumulated = 0;
    t->fired = t->one_shot;
    send_widget_event(ev::time, t->target, 0);
  }
  if (--be.timer_walks == 0) {
    auto dead = [](timer* t) {
      if (!t->killed) return false;
      delete t;
      return true;
    };
    be.timers.erase(std::remove_if(be.timers.begin(), be.timers.end(), dead), be.timers.end());
  }
}

// ---------------------------------------------------------------- the loop

void post_quit() { --be.loop_level; }

void do_events_once() {
  if (be.raw) do_events(true);
}

bool do_events(bool no_wait) {
  if (!no_wait && be.windows.empty()) return false;  // nothing could ever end the loop
  bool nested = no_wait || outer_running;
  int32_t remembered = be.loop_level;
  if (!no_wait) ++be.loop_level;
  if (nested) {
    if (!no_wait) be.input.reset();
  } else {
    outer_running = true;
    enter_raw_mode();
    enter_alt_screen();
    bool wanted = platform_mouse_wanted() && be.raw;
    if (wanted != be.mouse_tracking) {
      be.mouse_tracking = wanted;
      mouse_tracking(wanted);
    }
  }
  bool has_input = false;
  int32_t d = 0;
  try {
    for (;;) {
      has_input = read_input(no_wait ? 0 : (d <= frame_ms ? frame_ms - d : 0));
      if (no_wait && !has_input) break;
      if (d <= frame_ms) d = frame_ms;
      int64_t start = now_ms();
      fire_timers(d);
      render();
      be.input.process(sink);
      if (be.click_state == 2 && be.click_time < 800) be.click_time += frame_ms;
      d = int32_t(now_ms() - start);
      if (!nested) collect_graveyard();
      if (no_wait || be.loop_level <= remembered || be.windows.empty()) break;
      // Ctrl-C while no actor runs ends the loop, as a halt inside an actor does
      if (sysrt::interrupt_pending) {
        sysrt::interrupt_pending = 0;
        break;
      }
    }
  } catch (...) {
    be.loop_level = remembered;
    leave_loop(nested);
    throw;
  }
  if (be.loop_level > remembered) be.loop_level = remembered;
  leave_loop(nested);
  return has_input;
}

}  // namespace kaz::tui

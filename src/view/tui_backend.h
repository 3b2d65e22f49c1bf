// The terminal back-end of the View engine: widget and window records and the back-end's one
// state. Each shown face has a widget; a face's state block holds the widget's handle, an index
// into the widget pool that a freed widget's generation makes stale.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/cell.h"
#include "view/tui_canvas.h"
#include "view/tui_input.h"

namespace kaz::tui {

// Widget flags.
namespace wflag {
constexpr uint32_t size_pair = 0x10000;
constexpr uint32_t hidden = 0x20000;
constexpr uint32_t disabled = 0x40000;
constexpr uint32_t all_over = 0x100000;
constexpr uint32_t caret = 0x200000;      // shows the terminal cursor when focused
constexpr uint32_t focusable = 0x400000;
constexpr uint32_t captured = 0x1000000;
constexpr uint32_t focused = 0x2000000;
constexpr uint32_t password = 0x10000000;
constexpr uint32_t fullscreen = 0x40000000;
constexpr uint32_t caret_owner = 0x80000000;
}  // namespace wflag

// Text flags of a render: escapes in the text are read; the face text is left out.
namespace tflag {
constexpr uint32_t escapes = 0x1000;
constexpr uint32_t no_text = 0x2000;
}  // namespace tflag

// Para flags.
namespace para {
constexpr uint32_t right = 1, center = 2, middle = 4, bottom = 8, wrap = 0x20;
}

enum class kind : uint8_t {
  plain, window, base, field, button, progress, text_list, rich_text, group_box, check, radio
};

// A coordinate in cells as an integer: NaN gives 0 and values are kept within a million cells,
// so no conversion overflows whatever a face's point2D! holds.
inline int32_t to_cells(double v) {
  if (!(v == v)) return 0;
  if (v > 1e6) return 1000000;
  if (v < -1e6) return -1000000;
  return int32_t(v);
}

struct widget;

struct window_record {
  float left = 0, top = 0, right = 0, bottom = 0;  // bounds of the window and its children
  widget* root = nullptr;
  widget* focused = nullptr;
  int32_t caret_count = 0;  // widgets in it that show the terminal cursor
};

struct field_state {
  int32_t caret_index = 0;   // characters before the caret
  int32_t caret_column = 0;  // cells before the caret
  int32_t text_width = 0;    // cells of the whole text
};

struct widget {
  uint32_t handle = 0;
  kind k = kind::plain;
  uint32_t type_symbol = 0;
  uint32_t flags = 0;
  float left = 0, top = 0, right = 0, bottom = 0;  // in cells, relative to the parent
  widget* parent = nullptr;
  std::vector<screen_cell> image_cells;  // from the face's image: width x height cells
  int32_t image_width = 0;
  std::vector<screen_cell> rich_cells;   // a rich-text face's styled characters
  window_record* window = nullptr;       // a window's record
  field_state field;
  int32_t first_line = 0;                // a text-list's first shown item (0-based)
  uint32_t caret_for = 0;                // a caret-owning base: the handle it places the caret for
  cell ui{0, 0, 0, 0};                   // the text-mode UI string, or header 0
  cell face{0, 0, 0, 0};                 // the face object, or header 0
  bool dead = false;                     // freed while code up the stack may still hold it
  bool freeing = false;                  // its face tree is being freed
  bool draw_failed = false;              // its draw block raised an error: not run again until
                                         // the face changes

  int32_t width() const { return to_cells(double(right) - double(left)); }
  int32_t height() const { return to_cells(double(bottom) - double(top)); }
  bool has(uint32_t f) const { return (flags & f) != 0; }
};

struct timer {
  bool one_shot = false;
  bool fired = false;
  bool killed = false;
  int32_t accumulated = 0;
  int32_t period = 0;
  widget* target = nullptr;
};

struct backend_state {
  bool initialised = false;
  // Terminal.
  int32_t screen_width = 80, screen_height = 24;
  bool raw = false, cursor_hidden = false, fullscreen = false, alt_screen = false;
  int32_t color_mode = depth::truecolor;
  // Loop and input.
  int32_t loop_level = 0;
  input_decoder input;
  bool mouse_tracking = false;
  int32_t click_state = 0, click_time = 0;
  std::vector<timer*> timers;
  int32_t timer_walks = 0;  // timer walks running (a handler may start a nested loop)
  // Screen and windows.
  canvas screen;
  int32_t lines_drawn = 0;
  bool dirty = false;
  int32_t caret_column = 0, caret_row = 0;
  bool inline_drawn = false;
  std::vector<window_record*> windows;
  std::vector<widget*> pressed;
  std::string frame;
  window_record* active = nullptr;
  widget* last_window = nullptr;
  widget* focused = nullptr;
  widget* hovered = nullptr;
  widget* captured = nullptr;
  float last_x = 0, last_y = 0;
  // Widgets freed while event code ran: deleted once no dispatch holds them.
  std::vector<widget*> graveyard;
  int32_t busy = 0;
  // An error of a draw block met while rendering, printed once the frame is out (a root).
  cell draw_error{0, 0, 0, 0};
};

extern backend_state be;

// ---------------------------------------------------------------- widgets (tui_widgets.cpp)

widget* make_widget(widget* parent);
// Frees the widget's record (deferred while a dispatch runs): a window leaves the window list,
// and every pointer the back-end keeps to it is cleared.
void free_widget(widget* w);
// The widget of a handle value, null when stale or 0.
widget* widget_of_handle(uint32_t handle);
// The widget of a face (its state block's first value), or null.
widget* widget_of_face(const cell* face);
// Deletes the freed widgets once no dispatch runs.
void collect_graveyard();
// A dispatch holds widget pointers while it runs Kaz code.
struct busy_scope {
  busy_scope() { ++be.busy; }
  ~busy_scope() { --be.busy; }
};

// The window widget a widget lies in (itself for a window), or null.
widget* window_of(widget* w);
// The sums of left and top of the widget and its ancestors below the window.
void window_offset(widget* w, int32_t& x, int32_t& y);
// A point made relative to the widget's own corner.
void to_widget_coords(widget* w, float& x, float& y);
// The last widget of the pane whose box holds the point (parent coordinates), or null.
widget* hit_test(widget* w, float x, float y);

// Windows and focus.
void make_window_widget(widget* w);
void activate_window(window_record* r);
void remove_window(widget* w);
void focus_widget(widget* w, window_record* r);
void initial_focus(widget* w);
void extend_window_bounds(widget* w);
void count_in_window(widget* w);
void request_redraw(widget* w);
void resize_screen_for(widget* w);
void broadcast_resize(int32_t columns, int32_t rows);
void render();
void erase_inline_ui();
void end_inline_ui();
// The rows below the cursor that a window drawn inline covers (negative: none drawn), for the
// restore hook.
void remember_rows_below(int32_t rows);
void shutdown();

// ---------------------------------------------------------------- faces (tui_faces.cpp)

// Face fields, by name.
enum class facet : uint8_t {
  type, offset, size, text, image, color, menu, data, enabled_q, visible_q, selected, flags,
  options, parent, pane, state, rate, edge, para, font, actors, extra, draw, count
};
void init_face_words();
// The field of an object (a face, font or para), or null when it has none. Valid until the
// next allocation. The `_rw` forms answer the field to write.
const cell* field_of(const cell* object, facet f);
cell* field_of_rw(const cell* object, facet f);
const cell* field_named(const cell* object, uint32_t symbol);
cell* field_named_rw(const cell* object, uint32_t symbol);
uint32_t facet_symbol(facet f);
// The encoded colour of a tuple (exact 24-bit), the default colour otherwise or when alpha is
// 255.
uint32_t tuple_color(const cell* c);
// The para flags of a face's para object.
uint32_t align_flags(const cell* para);
// The foreground of a face's font.
uint32_t font_color(const cell* font);
// The value after a word in an options block, or null.
const cell* option_value(const cell* options, std::string_view word);
bool is_word_named(const cell* c, std::string_view name);
bool symbol_is(uint32_t symbol, std::string_view name);
// Whether a value is a pair or point2D, and its coordinates.
bool read_point(const cell* c, float& x, float& y);
// The flag bits of a flags facet (a word or a block of words).
uint32_t face_flag_bits(const cell* flags);

// ---------------------------------------------------------------- text (tui_text.cpp)

struct rect {
  int32_t left, top, right, bottom;
  bool empty() const { return right - left < 1 || bottom - top < 1; }
};

struct text_style {
  uint32_t flags;  // attribute bits, plus tflag bits
  uint32_t para;
  uint32_t fg, bg;
};

// Characters to draw: a string's units from its head, or styled cells.
struct text_source {
  const uint8_t* p = nullptr;
  uint32_t unit = 1;
  uint32_t length = 0;
  const screen_cell* cells = nullptr;  // styled cells instead of a string
  uint32_t at(uint32_t i) const;
};
text_source text_of_string(const cell* s);

rect clip_rect(int32_t x, int32_t y, widget* w);
void fill_rect(const rect& r, uint32_t bg);
void draw_text(const text_source& t, int32_t x, int32_t y, const rect& clip, text_style style);
struct extent {
  int32_t width, chars, lines;
};
// Widest line in cells up to a limit (-1: none), characters measured, lines.
extent text_extent(const text_source& t, int32_t limit);
// The same with lines wrapped at the limit.
extent measure_text(const text_source& t, int32_t limit);
// The number of characters an escape sequence after an ESC takes (0 when it is none), applying
// its SGR codes to the style.
uint32_t parse_ansi(const text_source& t, uint32_t from, text_style& style);
void apply_sgr_code(text_style& style, int32_t code);
void render_face(int32_t x, int32_t y, widget* w, uint32_t flags);

// ---------------------------------------------------------------- image (tui_image.cpp)

// Rebuilds the widget's image cells from an image! at the widget's size; anything else, an
// empty image or an empty widget leaves none.
void image_to_cells(widget* w, const cell* image);

// ---------------------------------------------------------------- kinds (tui_kinds.cpp)

void attach_kind(widget* w);        // the maker of the widget's face type
void update_ui(widget* w);          // rebuilds the text-mode UI
void render_widget(widget* w, int32_t x, int32_t y);
int32_t widget_event(widget* w, int32_t code, float x, float y, int32_t key);
void rich_text_update(widget* w);

// ---------------------------------------------------------------- events (tui_events.cpp)

namespace ev {
enum : int32_t {
  down = 1, up, mid_down, mid_up, alt_down, alt_up, aux_down, aux_up, click, dbl_click, wheel,
  over, key, key_down, key_up, ime, focus, unfocus, enter, zoom, pan, rotate, two_tap,
  press_tap, select, change, menu, close, move, resize, moving, resizing, time, drawing, scroll
};
}
namespace eflag {
constexpr uint32_t named = 1;
constexpr uint32_t away = 0x4000000;
}

int32_t send_widget_event(int32_t code, widget* w, uint32_t flags);
int32_t send_mouse_event(int32_t code, widget* w, float x, float y, uint32_t flags);
int32_t send_picked_event(int32_t code, widget* w, int32_t index);
void send_key_event(widget* w, int32_t character, int32_t named);
// Prints an error as the console does, through the print hooks.
void print_error(const cell* error);
// The answer of system/view/awake for an event: 1 for done.
int32_t call_awake(int32_t code, widget* w, float x, float y, int32_t key, float wheel,
                   uint32_t flags);
void route_mouse_move(widget* root, float x, float y, uint32_t flags);
void dispatch_mouse_button(int32_t code, float x, float y, uint32_t flags);
void route_wheel(int32_t direction, float x, float y, uint32_t flags);
void init_events();

// ---------------------------------------------------------------- loop (tui_loop.cpp)

void add_timer(widget* target, int32_t period);
void kill_timer(widget* target);
void fire_timers(int32_t elapsed);
bool do_events(bool no_wait);
void post_quit();
void do_events_once();
// Terminal control.
void enter_raw_mode();
void leave_raw_mode();
void hide_cursor();
void show_cursor();
void write_raw(const char* data, size_t n);
void query_screen_size();

// ---------------------------------------------------------------- draw (tui_draw.cpp)

// The ten face types that have a kind of their own.
kind kind_of_type(uint32_t type_symbol);

// Runs a draw block on a face's area of the canvas; a bad command raises the draw error
// (or stops quietly when system/view/silent? is set).
void run_draw(widget* w, int32_t x, int32_t y, const rect& clip, const cell* block);
void parse_rich_text(widget* w, const cell* data);

// The platform object the back-end was started with, or null.
cell* platform_object();
// Calls f on every live widget.
void for_each_widget(void (*f)(widget*));
// Terminal hooks: restore on exit, the print bracket, wait's event pass, the colour depth.
void install_terminal_hooks();

// Frees the widgets of a face tree; the faces' state becomes none (tui_routines.cpp).
void free_face_tree(const cell* face);

// Runs Kaz code from C++: a function value with arguments. Language errors are printed and
// taken; a halt or another exit ends the innermost event loop. False when it did not end
// normally.
bool call_safely(const cell* fn, std::initializer_list<const cell*> args, cell* result);

// The system/view object, or null while there is none.
const cell* system_view();

}  // namespace kaz::tui

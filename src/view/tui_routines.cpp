// The platform routines of the terminal back-end: what the View layer calls to make, update,
// show and destroy widgets, measure text and run the event loop, and the back-end's start.
#include <algorithm>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/function.h"
#include "core/ownership.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "datatypes/handle.h"
#include "datatypes/image.h"
#include "datatypes/integer.h"
#include "datatypes/point.h"
#include "datatypes/series_common.h"
#include "datatypes/simple_types.h"
#include "datatypes/time.h"
#include "datatypes/tuple.h"
#include "memory/char_width.h"
#include "memory/collector.h"
#include "runtime/fire.h"
#include "view/tui_backend.h"
#include "view/tui_routines.h"

namespace kaz::tui {

namespace {

// The platform object the back-end was started with (a root).
cell platform{type::none, 0, 0, 0};

void mark_widgets() {
  for_each_widget([](widget* w) {
    if (w->face.header) collector::mark_cell(&w->face);
    if (w->ui.header) collector::mark_cell(&w->ui);
  });
}

int32_t unicode_width(uint32_t c) { return unicode::char_width(int32_t(c)); }

void set_none(cell* a) { *a = cell{type::none, 0, 0, 0}; }
void set_logic(cell* a, bool v) { *a = cell{type::logic, v ? 1u : 0u, 0, 0}; }
void set_integer(cell* a, int32_t v) { *a = cell{type::integer, 0, uint32_t(v), 0}; }
void set_point(cell* a, float x, float y) { point::init_cell(a, type::point2d, x, y); }
bool truthy(const cell* c) {
  return c && !(type_of(c) == type::none || (type_of(c) == type::logic && !logic_type::value_of(c)));
}

widget* widget_of_arg(const cell* a) {
  if (type_of(a) == type::handle) return widget_of_handle(a->data2);
  if (type_of(a) == type::object) return widget_of_face(a);
  return nullptr;
}

// The face's state block's change bits, or null (the `_rw` form answers them to write).
const cell* change_bits(const cell* face) {
  const cell* state = field_of(face, facet::state);
  if (!state || type_of(state) != type::block || block::rs_length(state) < 2) return nullptr;
  cell b = *state;
  const cell* bits = block::rs_head(&b) + 1;
  return type_of(bits) == type::integer ? bits : nullptr;
}

cell* change_bits_rw(const cell* face) {
  if (!change_bits(face)) return nullptr;
  cell b = *field_of(face, facet::state);
  return block::rs_head_rw(&b) + 1;
}

void set_rect_from_face(widget* w, const cell* face) {
  float x = 0, y = 0, sx = 0, sy = 0;
  read_point(field_of(face, facet::offset), x, y);
  read_point(field_of(face, facet::size), sx, sy);
  w->left = x, w->top = y, w->right = x + sx, w->bottom = y + sy;
}

void update_widget_timer(widget* w, const cell* rate) {
  kill_timer(w);
  if (!rate || type_of(rate) == type::none) return;
  int32_t period = 0;
  if (type_of(rate) == type::integer && integer_type::value_of(rate) > 0) {
    period = 1000 / integer_type::value_of(rate);
  } else if (type_of(rate) == type::time && get_double(rate) > 0) {
    period = int32_t(std::min(get_double(rate) * 1000.0, 2147483647.0));
  } else {
    cell r = *rate;
    fire(err::script_invalid_arg, &r);
  }
  add_timer(w, std::max(period, 1));
}

uint32_t widget_flags_of(const cell* face) {
  uint32_t bits = face_flag_bits(field_of(face, facet::flags));
  uint32_t f = 0;
  if (bits & 0x1) f |= wflag::all_over;
  if (bits & 0x80000) f |= wflag::password;
  if (bits & 0x2) f |= wflag::focusable;
  if (bits & 0x200000) f |= wflag::fullscreen;
  return f;
}

// Removes a face from the parent block of its font or para.
void detach_from(const cell* face, facet which) {
  const cell* holder = field_of(face, which);
  if (!holder || type_of(holder) != type::object) return;
  cell owner = *holder;
  const cell* parents = field_named(&owner, symbol::make("parent"));
  if (!parents || type_of(parents) != type::block) return;
  cell b = *parents;
  b.data1 = 0;
  int32_t n = block::rs_length(&b);
  const cell* head = block::rs_head(&b);
  for (int32_t i = 0; i < n; ++i) {
    if (type_of(head + i) == type::object && head[i].data1 == face->data1) {
      cell* cells = block::rs_head_rw(&b);
      for (int32_t j = i; j + 1 < n; ++j) cells[j] = cells[j + 1];
      block::set_tail_at(&b, uint32_t(n - 1));
      break;
    }
  }
  if (which == facet::font && block::rs_length(&b) == 0)
    if (cell* st = field_of_rw(&owner, facet::state)) set_none(st);
}

// ---------------------------------------------------------------- update-view

void os_update_view(const cell* face_in) {
  cell face = *face_in;
  const cell* state = field_of(&face, facet::state);
  if (!state || type_of(state) != type::block || block::rs_length(state) < 1) return;
  widget* w = widget_of_face(&face);
  if (!w) return;
  const cell* bits_cell = change_bits(&face);
  uint32_t changes = bits_cell ? uint32_t(integer_type::value_of(bits_cell)) : 0;
  if (changes & 0x10000) {
    cell rate = *field_of(&face, facet::rate);
    update_widget_timer(w, &rate);
  }
  if (changes & 0x2) {
    float x, y;
    if (read_point(field_of(&face, facet::offset), x, y)) {
      float width = w->right - w->left, height = w->bottom - w->top;
      w->left = x, w->top = y, w->right = x + width, w->bottom = y + height;
    }
  }
  if (changes & 0x4) {
    float x, y;
    if (read_point(field_of(&face, facet::size), x, y)) {
      w->right = w->left + x, w->bottom = w->top + y;
      if (w->k == kind::window) resize_screen_for(w);
    }
  }
  if (changes & 0x10) image_to_cells(w, field_of(&face, facet::image));
  if (changes & 0x400) {
    const cell* sel = field_of(&face, facet::selected);
    if (w->k == kind::window && sel && type_of(sel) == type::object) {
      cell s = *sel;
      widget* target = widget_of_face(&s);
      widget* its_window = target ? window_of(target) : nullptr;
      if (its_window == w) focus_widget(target, w->window);  // only a face of this window
    }
  }
  if (changes & 0x100) {
    if (truthy(field_of(&face, facet::enabled_q))) w->flags &= ~wflag::disabled;
    else w->flags |= wflag::disabled;
  }
  if (changes & 0x200) {
    if (truthy(field_of(&face, facet::visible_q))) w->flags &= ~wflag::hidden;
    else w->flags |= wflag::hidden;
  }
  if (changes & 0x800) {
    uint32_t f = widget_flags_of(&face);
    w->flags = (w->flags & ~(wflag::all_over | wflag::password)) |
               (f & (wflag::all_over | wflag::password));
  }
  w->draw_failed = false;
  const cell* view = system_view();
  cell* sync = view ? field_named_rw(view, symbol::make("auto-sync?")) : nullptr;
  cell saved = sync ? *sync : cell{0, 0, 0, 0};
  if (sync) *sync = cell{type::logic, 0, 0, 0};
  update_ui(w);
  if (view && (sync = field_named_rw(view, symbol::make("auto-sync?")))) *sync = saved;
  if (!w->dead) request_redraw(w);
  if (cell* bits = change_bits_rw(&face)) integer_type::init_cell(bits, 0);
}

bool action_removes(const cell* action) {
  return is_word_named(action, "remove") || is_word_named(action, "take") ||
         is_word_named(action, "clear") || is_word_named(action, "move");
}

// ---------------------------------------------------------------- text-box metrics

void text_box_metrics(cell* a) {
  cell box = a[0];
  const cell* type = field_of(&box, facet::type);
  if (!type || !is_word_named(type, "rich-text")) fire(err::script_face_type, type ? type : &box);
  const cell* text = field_of(&box, facet::text);
  if (!text || type_of(text) != type::string) return set_none(a);
  float fw = 0, fh = 0;
  int32_t limit = read_point(field_of(&box, facet::size), fw, fh) ? to_cells(fw) : -1;
  text_source t = text_of_string(text);
  int32_t query = integer_type::value_of(&a[2]);
  auto walk_to_index = [&](int32_t index, int32_t& col, int32_t& line, int32_t& after) {
    col = 0, line = 0, after = 0;
    for (int32_t i = 0; i < int32_t(t.length); ++i) {
      uint32_t c = t.at(uint32_t(i));
      int32_t w = c == '\n' ? 0 : std::max(1, unicode_width(c));
      if (c != '\n' && limit > 0 && col > 0 && col + w > limit) col = 0, ++line;
      if (i == index) {
        after = col + w;
        return;
      }
      if (c == '\n') col = 0, ++line;
      else col += w;
    }
    after = col;
  };
  switch (query) {
    case 0:
    case 6: {
      int32_t col, line, after;
      // The caret is 1-based: caret 1 is before the first character.
      int32_t index = type_of(&a[1]) == type::integer ? integer_type::value_of(&a[1]) : 1;
      walk_to_index(std::max(index, 1) - 1, col, line, after);
      if (query == 0) set_point(a, float(col), float(line));
      else set_point(a, float(after), float(line + 1));
      return;
    }
    case 1:
    case 5: {
      float px = 0, py = 0;
      read_point(&a[1], px, py);
      int32_t line = 0, col = 0, i = 0, n = int32_t(t.length);
      int32_t want_line = to_cells(py), want_column = to_cells(px);
      while (i < n && line < want_line) {
        uint32_t c = t.at(uint32_t(i++));
        int32_t w = c == '\n' ? 0 : std::max(1, unicode_width(c));
        if (c == '\n') { ++line, col = 0; continue; }
        if (limit > 0 && col > 0 && col + w > limit) { ++line, col = 0; if (line == want_line) { --i; break; } }
        col += w;
      }
      col = 0;
      while (i < n && col < want_column) {
        uint32_t c = t.at(uint32_t(i));
        if (c == '\n') break;
        col += std::max(1, unicode_width(c));
        ++i;
      }
      int32_t index = i + 1;
      if (query == 5 && i >= n) --index;
      set_integer(a, index);
      return;
    }
    case 2:
      a->header = type::float_;
      put_double(a, 1.0);
      return;
    case 3:
    case 4: {
      extent e = measure_text(t, limit);
      if (query == 3) set_point(a, float(e.width), float(e.lines));
      else set_integer(a, e.lines);
      return;
    }
    default:
      set_none(a);
  }
}

}  // namespace

cell* platform_object() { return type_of(&platform) == type::object ? &platform : nullptr; }

void free_face_tree(const cell* face_in) {
  cell face = *face_in;
  widget* w = widget_of_face(&face);
  if (!w || w->freeing) return;  // a pane that holds its own face
  w->freeing = true;
  const cell* rate = field_of(&face, facet::rate);
  if (rate && type_of(rate) != type::none) kill_timer(w);
  detach_from(&face, facet::font);
  detach_from(&face, facet::para);
  const cell* pane = field_of(&face, facet::pane);
  if (pane && type_of(pane) == type::block) {
    cell b = *pane;
    for (int32_t i = 0; i < block::rs_length(&b); ++i) {
      cell child = *(block::rs_head(&b) + i);
      if (type_of(&child) == type::object) free_face_tree(&child);
    }
  }
  free_widget(w);
  if (cell* state = field_of_rw(&face, facet::state)) set_none(state);
}

// ---------------------------------------------------------------- the routines

namespace routines {

// The back-end's one-time set-up: its words, the event! fields, the terminal hooks and its
// roots. Every routine runs it first, so a routine called before `init` (or without a
// terminal, where the View layer never starts this back-end) finds its state made.
void start_once() {
  if (be.initialised) return;
  be.initialised = true;
  init_face_words();
  init_events();
  install_terminal_hooks();
  collector::add_root_cells(&platform);
  collector::add_root_cells(&be.draw_error);
  collector::add_mark_callback(mark_widgets);
}

template <void (*Entry)(cell*)>
void started(cell* a) {
  start_once();
  Entry(a);
}

void gui_init(cell* a) {
  if (type_of(a) == type::object) {
    platform = a[0];
    uint8_t v[3] = {10, 10, 10};
    if (cell* f = field_named_rw(&platform, symbol::make("version")))
      tuple_type::init_cell(f, v, 3);
    if (cell* f = field_named_rw(&platform, symbol::make("build"))) set_integer(f, 1000);
    if (cell* f = field_named_rw(&platform, symbol::make("product"))) set_integer(f, 0);
  }
  // The colour depth, from COLORTERM and TERM.
  cell word;
  context::intern_global(symbol::make("TUI-helpers"), &word);
  const cell* helpers = context::get_value(&word);
  if (const cell* check = field_named(helpers, symbol::make("check-color-support"));
      check && type_of(check) == type::function) {
    cell fn = *check, result;
    if (call_safely(&fn, {}, &result) && type_of(&result) == type::integer)
      be.color_mode = integer_type::value_of(&result);
  }
  set_none(a);
}

void event_q(cell* a) { set_logic(a, type_of(a) == type::event); }
void send_event_os(cell* a) { set_logic(a, false); }

void find_flag_q(cell* a) {
  cell flag = a[1];
  auto same = [&](const cell* c) {
    uint32_t t = type_of(c);
    return (t == type::word || t == type::lit_word) &&
           symbol::resolve(c->data2) == symbol::resolve(flag.data2);
  };
  bool found = false;
  if (type_of(a) == type::word) {
    found = same(a);
  } else if (type_of(a) == type::block) {
    cell b = a[0];
    for (int32_t i = 0; i < block::rs_length(&b) && !found; ++i) found = same(block::rs_head(&b) + i);
  }
  set_logic(a, found);
}

void focused_q(cell* a) {
  widget* w = widget_of_face(a);
  set_logic(a, w && w->has(wflag::focused));
}

void widget_data(cell* a) {
  widget* w = widget_of_face(a);
  set_integer(a, w ? w->first_line : 0);
}

void set_face_ui(cell* a) {
  if (widget* w = widget_of_face(a)) w->ui = a[1];
  set_none(a);
}

void make_null_handle(cell* a) { handle_type::init_cell(a, 0, handle_type::class_::null); }
void fetch_all_screens(cell* a) { set_none(a); }

void get_screen_size(cell* a) {
  query_screen_size();
  *a = cell{type::pair, 0, uint32_t(be.screen_width), uint32_t(be.screen_height)};
}

void size_text(cell* a) {
  cell face = a[0];
  cell text = a[1];
  if (type_of(&text) == type::none) {
    const cell* t = field_of(&face, facet::text);
    text = t ? *t : cell{type::none, 0, 0, 0};
  } else if (!is_any_string(type_of(&text))) {
    fire(err::script_invalid_type, &text);
  }
  if (!is_any_string(type_of(&text))) return set_none(a);
  extent e = text_extent(text_of_string(&text), -1);
  set_point(a, float(e.width), float(e.lines));
}

void on_change_facet(cell* a) {
  cell face = a[0];
  widget* w = widget_of_face(&face);
  if (!w) return set_none(a);
  if (is_word_named(&a[1], "data")) {
    const cell* type = field_of(&face, facet::type);
    const cell* data = field_of(&face, facet::data);
    int32_t index = integer_type::value_of(&a[5]), part = integer_type::value_of(&a[6]);
    if (type && is_word_named(type, "text-list") && data && type_of(data) == type::block &&
        action_removes(&a[3])) {
      int32_t n = block::rs_length(data);
      if (w->first_line > index) w->first_line = index;
      if (index == 0 && part >= n) w->first_line = 0;
      const cell* sel = field_of(&face, facet::selected);
      if (sel && type_of(sel) == type::integer)
        set_integer(field_of_rw(&face, facet::selected), std::max(0, n - part));
    }
    if (type && (is_word_named(type, "drop-down") || is_word_named(type, "drop-list")) && part == 0)
      return set_none(a);
  }
  os_update_view(&face);
  set_none(a);
}

void nothing(cell* a) { set_none(a); }

void update_font(cell* a) {
  int32_t flags = integer_type::value_of(&a[1]);
  if ((flags >= 0 && flags <= 3) || flags == 5)
    if (cell* st = field_of_rw(a, facet::state)) set_none(st);
  set_none(a);
}

void update_para(cell* a) {
  if (cell* bits = change_bits_rw(a))
    integer_type::init_cell(bits, integer_type::value_of(bits) | 0x40000);
  set_none(a);
}

void destroy_view(cell* a) {
  cell face = a[0];
  // Only a closed window ends a loop level: a face taken out of a pane is destroyed too, and
  // its window goes on.
  widget* w = widget_of_face(&face);
  const cell* type = field_of(&face, facet::type);
  bool window = w ? w->k == kind::window : type && is_word_named(type, "window");
  free_face_tree(&face);
  if (window) post_quit();
  if (!be.windows.empty()) request_redraw(nullptr);
  set_none(a);
}

void update_view(cell* a) {
  cell v = a[0];
  if (type_of(&v) == type::block) {
    for (int32_t i = 0; i < block::rs_length(&v); ++i)
      if (type_of(block::rs_head(&v) + i) != type::object) {
        cell bad = *(block::rs_head(&v) + i);
        fire(err::script_invalid_type, &bad);
      }
    for (int32_t i = 0; i < block::rs_length(&v); ++i) {
      cell face = *(block::rs_head(&v) + i);
      const cell* state = field_of(&face, facet::state);
      if (state && type_of(state) == type::block) os_update_view(&face);
    }
  } else if (type_of(&v) == type::object) {
    const cell* type = field_of(&v, facet::type);
    if (!type || !is_word_named(type, "screen")) os_update_view(&v);
  } else {
    fire(err::script_invalid_type, &v);
  }
  set_none(a);
}

void refresh_window(cell* a) {
  if (widget* w = widget_of_arg(a)) request_redraw(w);
  set_none(a);
}

void show_window(cell* a) {
  widget* w = widget_of_arg(a);
  if (w && w->k == kind::window && w->window) {
    activate_window(w->window);
    be.dirty = true;
  }
  set_none(a);
}

void make_view(cell* a) {
  cell face = a[0];
  widget* parent = type_of(&a[1]) == type::handle ? widget_of_handle(a[1].data2) : nullptr;
  uint32_t flags = widget_flags_of(&face);
  if (const cell* offset = field_of(&face, facet::offset);
      offset && type_of(offset) == type::pair) {
    float x = float(int32_t(offset->data2)), y = float(int32_t(offset->data3));
    point::init_cell(field_of_rw(&face, facet::offset), type::point2d, x, y);
  }
  if (const cell* size = field_of(&face, facet::size); size && type_of(size) == type::pair)
    flags |= wflag::size_pair;
  const cell* visible = field_of(&face, facet::visible_q);
  if (visible && !truthy(visible)) flags |= wflag::hidden;
  const cell* enabled = field_of(&face, facet::enabled_q);
  if (enabled && !truthy(enabled)) flags |= wflag::disabled;
  const cell* type = field_of(&face, facet::type);
  uint32_t type_symbol = type && is_word_named(type, "window") ? type->data2
                         : type && (type_of(type) == type::word || type_of(type) == type::lit_word)
                             ? type->data2
                             : 0;
  if (type_symbol && kind_of_type(type_symbol) == kind::window)
    if (cell* offset = field_of_rw(&face, facet::offset)) *offset = cell{type::pair, 0, 0, 0};
  widget* w = make_widget(parent);
  w->flags = flags;
  set_rect_from_face(w, &face);
  w->face = face;
  w->type_symbol = type_symbol;
  if (type_symbol) attach_kind(w);
  if (w->dead) return set_none(a);
  image_to_cells(w, field_of(&w->face, facet::image));
  if (parent) {
    extend_window_bounds(w);
    count_in_window(w);
    initial_focus(w);
  }
  const cell* rate = field_of(&w->face, facet::rate);
  if (rate && type_of(rate) != type::none) {
    cell r = *rate;
    try {
      update_widget_timer(w, &r);
    } catch (...) {
      free_widget(w);
      throw;
    }
  }
  handle_type::init_cell(a, w->handle, handle_type::class_::window);
}

void detach_image(cell* a) {
  cell img = a[0];
  ownership::unbind(&img);
  set_none(a);
}

void draw_image(cell* a) {
  cell img = a[0], cmds = a[1];
  uint32_t count = image::count_of(&img);
  if (count == 0) return set_none(a);
  // The cell canvas has no pixels: the commands are checked and nothing is painted.
  rect none{0, 0, 0, 0};
  run_draw(nullptr, 0, 0, none, &cmds);
  series::owned_after(&img, series::change::change, nullptr, 0, int32_t(count));
  set_none(a);
}

void do_event_loop(cell* a) { set_logic(a, do_events(truthy(a))); }
void exit_event_loop(cell* a) {
  post_quit();
  set_none(a);
}
void request_font(cell* a) { (void)a; }

// request-file and request-dir: the TUI-helpers requesters, when the View layer has them.
void requester(cell* a, std::string_view name) {
  cell word;
  context::intern_global(symbol::make("TUI-helpers"), &word);
  const cell* helpers = context::get_value(&word);
  const cell* fn = field_named(helpers, symbol::make(name));
  if (!fn || type_of(fn) != type::function) return set_none(a);
  cell f = *fn;
  cell none{type::none, 0, 0, 0};
  cell second = a[1], save = a[3], multi = a[4];
  cell result;
  if (!call_safely(&f, {&none, &second, &none, &save, &multi}, &result)) return set_none(a);
  *a = result;
}
void request_file(cell* a) { requester(a, "request-file"); }
void request_dir(cell* a) { requester(a, "request-dir"); }

void support_dark_mode_q(cell* a) { set_logic(a, false); }

}  // namespace routines

void init_routines() {
  using namespace routines;
  struct row {
    uint32_t index;
    routine_entry entry;
    int32_t result;
  };
  static const row rows[] = {
      {routine_index::gui_init, started<gui_init>, -1},
      {routine_index::event_q, started<event_q>, type::logic},
      {routine_index::send_event_os, started<send_event_os>, type::logic},
      {routine_index::find_flag_q, started<find_flag_q>, type::logic},
      {routine_index::focused_q, started<focused_q>, type::logic},
      {routine_index::widget_data, started<widget_data>, type::integer},
      {routine_index::set_face_ui, started<set_face_ui>, -1},
      {routine_index::make_null_handle, started<make_null_handle>, -1},
      {routine_index::fetch_all_screens, started<fetch_all_screens>, -1},
      {routine_index::get_screen_size, started<get_screen_size>, -1},
      {routine_index::size_text, started<size_text>, -1},
      {routine_index::on_change_facet, started<on_change_facet>, -1},
      {routine_index::update_text, started<nothing>, -1},
      {routine_index::update_font, started<update_font>, -1},
      {routine_index::update_para, started<update_para>, -1},
      {routine_index::destroy_view, started<destroy_view>, -1},
      {routine_index::detach_image, started<detach_image>, -1},
      {routine_index::update_view, started<update_view>, -1},
      {routine_index::refresh_window, started<refresh_window>, -1},
      {routine_index::redraw, started<refresh_window>, -1},
      {routine_index::show_window, started<show_window>, -1},
      {routine_index::make_view, started<make_view>, -1},
      {routine_index::draw_image, started<draw_image>, -1},
      {routine_index::draw_face, started<nothing>, -1},
      {routine_index::do_event_loop, started<do_event_loop>, type::logic},
      {routine_index::exit_event_loop, started<exit_event_loop>, -1},
      {routine_index::request_font, started<request_font>, -1},
      {routine_index::request_file, started<request_file>, -1},
      {routine_index::request_dir, started<request_dir>, -1},
      {routine_index::text_box_metrics, started<text_box_metrics>, -1},
      {routine_index::update_scroller, started<nothing>, -1},
      {routine_index::set_dark_mode, started<nothing>, -1},
      {routine_index::support_dark_mode_q, started<support_dark_mode_q>, type::logic},
      {routine_index::toggle_gpu, started<nothing>, -1},
  };
  for (const row& r : rows) function::register_routine(r.index, r.entry, r.result);
}

}  // namespace kaz::tui

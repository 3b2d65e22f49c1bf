// Widget records: the pool of handles, freeing (deferred while event code runs), geometry,
// the window list with its focus, and the frame render of the active window.
#include <algorithm>
#include <cstdio>

#include "core/block_storage.h"
#include "datatypes/handle.h"
#include "view/tui_backend.h"

namespace kaz::tui {

backend_state be;

namespace {

/*
 * Handles: slot + 1 in the low 16 bits, the slot's generation in the high 16. Freeing a widget
 * bumps its slot's generation, so a face that still holds the old handle finds nothing.
 */
std::vector<widget*> pool;
std::vector<uint16_t> generations;
std::vector<uint32_t> free_slots;

void forget(widget* w) {
  if (be.focused == w) be.focused = nullptr;
  if (be.hovered == w) be.hovered = nullptr;
  if (be.captured == w) be.captured = nullptr;
  if (be.last_window == w) be.last_window = nullptr;
  be.pressed.erase(std::remove(be.pressed.begin(), be.pressed.end(), w), be.pressed.end());
  for (window_record* r : be.windows)
    if (r->focused == w) r->focused = nullptr;
  for (widget* other : pool)
    if (other && other->parent == w) other->parent = nullptr;
  for (timer* t : be.timers)
    if (t->target == w) t->killed = true, t->target = nullptr;
}

void release_slot(widget* w) {
  uint32_t slot = (w->handle & 0xFFFF) - 1;
  pool[slot] = nullptr;
  ++generations[slot];
  free_slots.push_back(slot);
}

}  // namespace

widget* make_widget(widget* parent) {
  widget* w = new widget();
  w->parent = parent;
  uint32_t slot;
  if (!free_slots.empty()) {
    slot = free_slots.back();
    free_slots.pop_back();
  } else {
    slot = uint32_t(pool.size());
    pool.push_back(nullptr);
    generations.push_back(1);
  }
  pool[slot] = w;
  w->handle = (uint32_t(generations[slot]) << 16) | (slot + 1);
  return w;
}

void for_each_widget(void (*f)(widget*)) {
  for (widget* w : pool)
    if (w) f(w);
}

widget* widget_of_handle(uint32_t handle) {
  uint32_t slot = (handle & 0xFFFF);
  if (slot == 0 || slot > pool.size()) return nullptr;
  widget* w = pool[slot - 1];
  if (!w || w->handle != handle) return nullptr;
  return w;
}

widget* widget_of_face(const cell* face) {
  const cell* state = field_of(face, facet::state);
  if (!state || type_of(state) != type::block) return nullptr;
  cell b = *state;
  if (block::rs_length(&b) < 1) return nullptr;
  const cell* h = block::rs_head(&b);
  if (type_of(h) != type::handle) return nullptr;
  return widget_of_handle(h->data2);
}

void free_widget(widget* w) {
  if (!w || w->dead) return;
  // Dead first: the focus events that removing a window sends may run code that frees it again.
  w->dead = true;
  if (w->k == kind::window) remove_window(w);
  forget(w);
  release_slot(w);
  w->face = cell{0, 0, 0, 0};
  w->ui = cell{0, 0, 0, 0};
  w->image_cells = {};
  w->image_width = 0;
  if (be.busy > 0)
    be.graveyard.push_back(w);
  else
    delete w;
}

void collect_graveyard() {
  if (be.busy > 0) return;
  for (widget* w : be.graveyard) delete w;
  be.graveyard.clear();
}

// ---------------------------------------------------------------- geometry

widget* window_of(widget* w) {
  while (w && w->k != kind::window) w = w->parent;
  return w;
}

void window_offset(widget* w, int32_t& x, int32_t& y) {
  float fx = 0, fy = 0;
  for (widget* p = w; p && p->k != kind::window; p = p->parent) fx += p->left, fy += p->top;
  x = to_cells(fx);
  y = to_cells(fy);
}

void to_widget_coords(widget* w, float& x, float& y) {
  for (widget* p = w; p && p->k != kind::window; p = p->parent) x -= p->left, y -= p->top;
}

widget* hit_test(widget* w, float x, float y) {
  const cell* pane = field_of(&w->face, facet::pane);
  if (!pane || type_of(pane) != type::block) return nullptr;
  cell b = *pane;
  for (int32_t i = block::rs_length(&b) - 1; i >= 0; --i) {
    cell face = *(block::rs_head(&b) + i);
    widget* c = widget_of_face(&face);
    // Only the widgets made as this one's children: a pane that holds its own face, or a face
    // shown elsewhere, leads nowhere.
    if (!c || c->parent != w || c->has(wflag::hidden)) continue;
    if (c->left <= x && x < c->right && c->top <= y && y < c->bottom) return c;
  }
  return nullptr;
}

// ---------------------------------------------------------------- windows and focus

void make_window_widget(widget* w) {
  w->k = kind::window;
  if (w->has(wflag::fullscreen)) be.fullscreen = true;
  be.last_window = w;
  window_record* r = new window_record();
  r->root = w;
  r->left = w->left, r->top = w->top, r->right = w->right, r->bottom = w->bottom;
  w->window = r;
  be.windows.push_back(r);
}

void activate_window(window_record* r) {
  be.active = r;
  focus_widget(r->focused ? r->focused : r->root, r);
  if (r->caret_count == 0 && be.raw) hide_cursor();
  be.hovered = be.captured = nullptr;
  be.pressed.clear();
}

void remove_window(widget* w) {
  window_record* r = w->window;
  if (!r) return;
  be.windows.erase(std::remove(be.windows.begin(), be.windows.end(), r), be.windows.end());
  if (be.active == r) be.active = nullptr;
  w->window = nullptr;
  delete r;
  if (w->has(wflag::fullscreen)) {
    be.fullscreen = false;
    for (window_record* o : be.windows)
      if (o->root->has(wflag::fullscreen)) be.fullscreen = true;
  }
  if (!be.windows.empty()) {
    activate_window(be.windows.back());
    be.dirty = true;
  }
}

void focus_widget(widget* w, window_record* r) {
  if (!r) r = be.active;
  widget* old = be.focused;
  if (old == w && (!r || r->focused == w)) return;
  if (old) {
    old->flags &= ~wflag::focused;
    be.focused = nullptr;
    busy_scope hold;
    send_widget_event(ev::unfocus, old, 0);
  }
  if (w && w->dead) return;
  if (r) r->focused = w;
  be.focused = w;
  if (w) {
    w->flags |= wflag::focused;
    busy_scope hold;
    send_widget_event(ev::focus, w, 0);
  }
  be.dirty = true;
}

void initial_focus(widget* w) {
  if (!w->has(wflag::focusable)) return;
  widget* win = window_of(w);
  if (!win || !win->window) return;
  window_record* r = win->window;
  if (r->focused && r->focused != win) return;
  r->focused = w;  // the window's first focusable face; it gets the focus when shown
}

void extend_window_bounds(widget* w) {
  widget* win = w->k == kind::window ? w : (w->parent && w->parent->k == kind::window ? w->parent : nullptr);
  if (!win || !win->window) return;
  window_record* r = win->window;
  if (w == win) {
    r->left = std::min(r->left, w->left), r->top = std::min(r->top, w->top);
    r->right = std::max(r->right, w->right), r->bottom = std::max(r->bottom, w->bottom);
    return;
  }
  // Children are in the window's coordinates: the window's own size bounds them too.
  r->right = std::max(r->right, r->left + w->right);
  r->bottom = std::max(r->bottom, r->top + w->bottom);
}

void count_in_window(widget* w) {
  if (!w->has(wflag::caret)) return;
  widget* win = window_of(w);
  if (win && win->window) ++win->window->caret_count;
}

void request_redraw(widget* w) {
  if (!w) w = be.focused;
  widget* win = window_of(w);
  if (win && be.active && win->window == be.active) be.dirty = true;
}

void resize_screen_for(widget* w) {
  if (!w->window) return;
  window_record* r = w->window;
  r->left = w->left, r->top = w->top, r->right = w->right, r->bottom = w->bottom;
  be.dirty = true;
}

void broadcast_resize(int32_t columns, int32_t rows) {
  std::vector<widget*> roots;
  for (window_record* r : be.windows) roots.push_back(r->root);
  busy_scope hold;
  for (widget* w : roots) {
    if (w->dead) continue;
    widget_event(w, ev::resize, float(columns), float(rows), 0);
    if (w->face.header) call_awake(ev::resize, w, float(columns), float(rows), 0, 0, 0);
  }
  be.dirty = true;
  if (be.alt_screen) render();
}

// ---------------------------------------------------------------- render

namespace {

void alloc_screen(window_record* r) {
  int32_t w = std::min(be.screen_width, to_cells(double(r->right) - double(r->left)));
  int32_t h = std::min(be.screen_height, to_cells(double(r->bottom) - double(r->top)));
  be.screen.resize(std::max(w, 0), std::max(h, 0));
}

void clamp_origin() {
  if (be.fullscreen) {
    be.input.origin_row = 0;
    be.input.cursor_column = 0;
  } else if (be.input.origin_row + be.screen.height > be.screen_height) {
    be.input.origin_row = std::max(0, be.screen_height - be.screen.height);
  }
}

void render_tree(widget* w) {
  if (!w || w->dead || w->has(wflag::hidden)) return;
  int32_t x, y;
  window_offset(w, x, y);
  render_widget(w, x, y);
  const cell* pane = field_of(&w->face, facet::pane);
  if (!pane || type_of(pane) != type::block) return;
  cell b = *pane;
  for (int32_t i = 0; i < block::rs_length(&b); ++i) {
    cell face = *(block::rs_head(&b) + i);
    widget* c = widget_of_face(&face);
    if (c && c->parent == w) render_tree(c);
  }
}

}  // namespace

void render() {
  clamp_origin();
  if (!be.dirty || !be.active) return;
  alloc_screen(be.active);
  be.screen.clear();
  be.caret_column = be.caret_row = -1;
  render_tree(be.active->root);
  bool caret = be.focused && be.focused->has(wflag::caret) && !be.focused->dead;
  if (!caret) hide_cursor();
  std::fflush(nullptr);
  frame_place place{be.fullscreen, be.lines_drawn, caret, be.caret_column, be.caret_row};
  be.frame.clear();
  be.lines_drawn = emit_frame(be.screen, place, be.color_mode, be.frame);
  if (be.screen.width > 0 && be.screen.height > 0) {
    write_raw(be.frame.data(), be.frame.size());
    be.inline_drawn = true;
    if (!be.fullscreen) remember_rows_below(std::max(0, be.screen.height - 1 - be.lines_drawn));
  }
  be.frame.clear();
  be.dirty = false;
  if (caret && be.caret_column >= 0 && be.caret_row >= 0) show_cursor();
  else hide_cursor();
  if (be.draw_error.header) {
    cell e = be.draw_error;
    be.draw_error = cell{0, 0, 0, 0};
    print_error(&e);
  }
}

void erase_inline_ui() {
  if (!be.inline_drawn) return;
  char b[32];
  int n = be.lines_drawn > 0 ? std::snprintf(b, sizeof b, "\r\x1b[%dA\x1b[0J", be.lines_drawn)
                             : std::snprintf(b, sizeof b, "\r\x1b[0J");
  write_raw(b, size_t(n));
  be.lines_drawn = 0;
  remember_rows_below(-1);
}

void end_inline_ui() {
  if (!be.inline_drawn) return;
  int32_t below = be.screen.height - 1 - be.lines_drawn;
  if (below > 0) {
    char b[24];
    int n = std::snprintf(b, sizeof b, "\x1b[%dB", below);
    write_raw(b, size_t(n));
  }
  write_raw("\r\n", 2);
  remember_rows_below(-1);
}

void shutdown() {
  std::vector<window_record*> copy = be.windows;
  std::vector<widget*> roots;
  for (window_record* r : copy) roots.push_back(r->root);
  for (widget* w : roots) {
    // The whole tree of each window: its faces lose their state.
    if (w->dead) continue;
    if (w->face.header) {
      cell face = w->face;
      free_face_tree(&face);
    } else {
      free_widget(w);
    }
  }
  be.screen.resize(0, 0);
  be.lines_drawn = 0;
  be.dirty = false;
  be.caret_column = be.caret_row = 0;
  be.input.origin_row = be.input.cursor_column = 0;
  be.inline_drawn = false;
  be.active = nullptr;
  be.focused = be.hovered = be.captured = nullptr;
  be.pressed.clear();
  be.frame.clear();
  be.windows.clear();
  be.click_state = be.click_time = 0;
  be.fullscreen = false;
}

}  // namespace kaz::tui

// Events of the terminal back-end: the pool behind back-end event! values and their field
// accessors, the call of system/view/awake, and the routing of keys, buttons, motion and the
// wheel through the widget tree.
#include <algorithm>
#include <cstring>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/error.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "datatypes/event.h"
#include "eval/interpreter.h"
#include "eval/trace.h"
#include "memory/series.h"
#include "runtime/output_hooks.h"
#include "view/tui_backend.h"

namespace kaz::tui {

namespace {

/*
 * The records behind back-end event! values. An event's data2 is a token: the record's slot in
 * the low 6 bits and a sequence number above; a record reused for a later event gets a new
 * token, so an event! kept after its handler returned reads none, never another event's fields.
 */
struct backend_event {
  uint32_t token = 0;
  uint32_t widget = 0;  // handle
  float x = 0, y = 0;
  int32_t key = 0;      // key code or character, or the picked index
  float wheel = 0;
  bool named = false;
};
constexpr uint32_t pool_size = 64;
backend_event pool[pool_size];
uint32_t sequence = 0;

constexpr const char* key_words[] = {"up",       "down",      "right", "left", "end", "home",
                                     "insert",   "delete",    "page-up", "page-down", nullptr,
                                     "F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10",
                                     "F11", "F12"};

backend_event* record_of(const cell* e) {
  backend_event& r = pool[e->data2 & (pool_size - 1)];
  return r.token == e->data2 && r.token != 0 ? &r : nullptr;
}

void word_cell(std::string_view name, cell* out) {
  context::intern_global(symbol::make(name), out);
  out->header = (out->header & ~type_mask) | type::word;
}

bool get_field(const cell* e, uint32_t index, cell* out) {
  backend_event* r = record_of(e);
  *out = cell{type::none, 0, 0, 0};
  if (!r) return true;
  widget* w = widget_of_handle(r->widget);
  switch (index) {
    case event_type::field::face:
      if (w && w->face.header) *out = w->face;
      return true;
    case event_type::field::offset:
      *out = cell{type::pair, 0, uint32_t(int32_t(r->x)), uint32_t(int32_t(r->y))};
      return true;
    case event_type::field::key:
      if (r->named) {
        int32_t i = -r->key - 20;
        if (i >= 0 && i < int32_t(std::size(key_words)) && key_words[i]) word_cell(key_words[i], out);
      } else {
        *out = cell{type::char_, 0, uint32_t(r->key), 0};
      }
      return true;
    case event_type::field::picked:
      if (e->data1 == uint32_t(ev::wheel)) {
        out->header = type::float_;
        put_double(out, double(r->wheel));
      } else {
        *out = cell{type::integer, 0, uint32_t(r->key), 0};
      }
      return true;
    case event_type::field::flags: {
      block::init_cell(out, 8);
      static constexpr std::pair<const char*, uint32_t> flag_words[] = {
          {"away", 0x4000000},   {"down", 0x2000000},     {"mid-down", 0x1000000},
          {"alt-down", 0x800000}, {"aux-down", 0x400000}, {"control", 0x10000000},
          {"shift", 0x20000000}, {"alt", 0x40000000}};
      cell b = *out;
      for (const auto& f : flag_words) {
        if (!(e->data3 & f.second)) continue;
        cell wc;
        word_cell(f.first, &wc);
        block::append_copy(&b, &wc);
      }
      *out = b;
      return true;
    }
    default:
      return false;  // type and the flag tests: the event itself says
  }
}

}  // namespace

void print_error(const cell* error) {
  cell e = *error;
  cell* held = stack::push(&e);
  cell* buffer = stack::reserve_cell();
  string::make_at(buffer, 200);
  error::form(held, buffer, 1 << 20);
  string::text t = string::text_of(buffer);
  sysrt::unit_text u{t.p, size_t(t.length) * t.unit, t.unit};
  sysrt::call_print_hooks(u, true);
  stack::top = held;
}

void init_events() { event_type::backend.get_field = get_field; }

const cell* system_view() {
  cell word;
  context::intern_global(symbol::make("system"), &word);
  const cell* system = context::get_value(&word);
  const cell* view = field_named(system, symbol::make("view"));
  if (!view || type_of(view) != type::object) return nullptr;
  return view;
}

bool call_safely(const cell* fn_in, std::initializer_list<const cell*> args, cell* result) {
  cell fn = *fn_in;
  *result = cell{type::none, 0, 0, 0};
  stack::saved_state saved = stack::save();
  cell name;
  context::intern_global(symbol::make("awake"), &name);
  try {
    stack::open_interpreted_function_frame(&name);
    for (const cell* a : args) stack::push(a);
    flow f = interp::call_with_arguments(&fn, &name);
    if (f != flow::normal) {
      stack::unwind_to(saved);
      post_quit();  // a halt or an exit nothing took ends the innermost loop
      return false;
    }
    *result = *stack::arguments;
    stack::close_frame_dropping();
    return true;
  } catch (const language_error&) {
    stack::unwind_to(saved);
    cell e = error::in_flight;
    print_error(&e);
    return false;
  }
}

int32_t call_awake(int32_t code, widget* w, float x, float y, int32_t key, float wheel,
                   uint32_t flags) {
  const cell* view = system_view();
  if (!view) return 0;
  const cell* awake = field_named(view, symbol::make("awake"));
  if (!awake || type_of(awake) != type::function) return 0;
  cell fn = *awake;
  uint32_t slot = (sequence++) & (pool_size - 1);
  backend_event& r = pool[slot];
  uint32_t token = ((sequence & 0x3FFFFFF) << 6) | slot;
  if (token == 0) token = pool_size;  // never 0
  r = backend_event{token, w ? w->handle : 0, x, y, key, wheel, (flags & eflag::named) != 0};
  cell event{type::event, uint32_t(code), token, flags & ~eflag::named};
  bool was_tracing = trace::tracing;
  trace::tracing = false;
  cell result;
  busy_scope hold;
  bool ok = call_safely(&fn, {&event}, &result);
  trace::tracing = was_tracing;
  r.token = 0;  // the event! is stale from here on
  return ok && is_word_named(&result, "done") ? 1 : 0;
}

int32_t send_widget_event(int32_t code, widget* w, uint32_t flags) {
  if (!w || w->dead || w->has(wflag::disabled)) return 0;
  busy_scope hold;
  widget_event(w, code, 0, 0, 0);
  if (w->dead || !w->face.header) return 0;
  return call_awake(code, w, 0, 0, 0, 0, flags);
}

int32_t send_mouse_event(int32_t code, widget* w, float x, float y, uint32_t flags) {
  if (!w || w->dead || w->has(wflag::disabled)) return 0;
  busy_scope hold;
  widget_event(w, code, x, y, 0);
  if (w->dead || !w->face.header) return 0;
  return call_awake(code, w, x, y, 0, 0, flags);
}

int32_t send_picked_event(int32_t code, widget* w, int32_t index) {
  if (!w || w->dead || w->has(wflag::disabled) || !w->face.header) return 0;
  return call_awake(code, w, 0, 0, index, 0, 0);
}

void send_key_event(widget* w, int32_t character, int32_t named) {
  if (!w) w = be.focused;
  if (!w || w->dead || w->has(wflag::disabled)) return;
  uint32_t flags = 0;
  if (named == named_key::back_tab) {
    character = 9;
    flags = 0x20000000;
  } else if (named) {
    character = named;
    flags = eflag::named;
  } else if (character == 0) {
    return;
  }
  busy_scope hold;
  if (w->face.header && call_awake(ev::key_down, w, 0, 0, character, 0, flags) == 1) return;
  if (w->dead) return;
  if (w->face.header && call_awake(ev::key, w, 0, 0, character, 0, flags) == 1) return;
  if (w->dead) return;
  widget_event(w, ev::key, 0, 0, character);
}

// ---------------------------------------------------------------- mouse routing

namespace {

// Whether a is b's ancestor or they share a parent.
bool related(widget* a, widget* b) {
  if (!a || !b) return false;
  if (a->parent == b->parent) return true;
  for (widget* p = b->parent; p; p = p->parent)
    if (p == a) return true;
  return false;
}

void send_to_captured(int32_t code, float x, float y, uint32_t flags, int64_t mask) {
  widget* c = be.captured;
  if (!c || c->dead || !c->has(wflag::captured)) return;
  if (mask != -1 && !(c->flags & uint32_t(mask))) return;
  to_widget_coords(c, x, y);
  send_mouse_event(code, c, x, y, flags);
}

// Answers whether some level handled the motion. `root_told`: the root already had this motion
// (nothing was hovered), so it is not sent to it twice.
bool route_move(widget* w, float x, float y, uint32_t flags, bool outermost, bool root_told) {
  if (!be.hovered && outermost) {
    send_mouse_event(ev::over, w, x, y, flags);
    root_told = true;
  }
  widget* child = hit_test(w, x, y);
  if (child && !child->dead) {
    float cx = x - child->left, cy = y - child->top;
    if (child->k != kind::window && route_move(child, cx, cy, flags, false, false)) return true;
    if (child->dead) return true;
  } else if (w != be.hovered) {
    widget* old = be.hovered;
    if (old && !old->dead && related(w, old)) {
      uint32_t f = flags | eflag::away | (old == be.captured ? 0x1000000 : 0);
      send_mouse_event(ev::over, old, be.last_x, be.last_y, f);
    }
    if (w->dead) return true;
    if ((!old || related(old, w)) && !(outermost && root_told)) {
      w->flags &= ~wflag::captured;
      send_mouse_event(ev::over, w, x, y, flags);
    }
    if (w->dead) return true;
    be.hovered = w;
    be.last_x = x, be.last_y = y;
    return true;
  } else {
    be.last_x = x, be.last_y = y;
    if (w->has(wflag::all_over)) send_mouse_event(ev::over, w, x, y, flags);
    return true;
  }
  if (w->has(wflag::all_over)) {
    send_mouse_event(ev::over, w, x, y, flags);
    return true;
  }
  return false;
}

struct button_answer {
  int32_t answer;   // 1 when a level answered done
  bool clicked;     // a click was answered done below
  bool double_;     // a double click was made below
};

button_answer route_button(int32_t code, widget* w, float x, float y, uint32_t flags) {
  button_answer below{0, false, false};
  widget* child = hit_test(w, x, y);
  if (child && !child->dead) below = route_button(code, child, x - child->left, y - child->top, flags);
  if (w->dead) return below;
  if (below.answer == 1) return below;
  button_answer me{send_mouse_event(code, w, x, y, flags), below.clicked, below.double_};
  if (w->dead) return me;
  if (code == ev::down) be.pressed.push_back(w);
  if (code == ev::up && !below.clicked &&
      std::find(be.pressed.begin(), be.pressed.end(), w) != be.pressed.end()) {
    bool dbl = below.double_ || (be.click_state == 2 && be.click_time < 500);
    int32_t c = send_mouse_event(ev::click, w, x, y, flags);
    if (dbl && !w->dead) {
      be.click_state = 10;
      c = send_mouse_event(ev::dbl_click, w, x, y, flags) | c;
      me.double_ = true;
    }
    if (c == 1) me.clicked = true;
    if (!child && !w->dead && w->has(wflag::focusable) && !w->has(wflag::focused))
      focus_widget(w, nullptr);
  }
  return me;
}

bool route_wheel_in(widget* w, int32_t direction, float x, float y, uint32_t flags) {
  widget* child = hit_test(w, x, y);
  if (child && !child->dead &&
      route_wheel_in(child, direction, x - child->left, y - child->top, flags))
    return true;
  if (w->dead || !w->face.header || w->has(wflag::disabled)) return false;
  return call_awake(ev::wheel, w, x, y, 0, float(direction), flags) == 1;
}

}  // namespace

void route_mouse_move(widget* root, float x, float y, uint32_t flags) {
  if (!root || root->dead) return;
  busy_scope hold;
  route_move(root, x, y, flags, true, false);
  send_to_captured(ev::over, x, y, flags, -1);
}

void dispatch_mouse_button(int32_t code, float x, float y, uint32_t flags) {
  if (!be.active) return;
  widget* root = be.active->root;
  busy_scope hold;
  if (code == ev::down) be.captured = be.hovered;
  route_button(code, root, x, y, flags);
  if (code == ev::up) {
    send_to_captured(ev::up, x, y, flags, -1);
    if (be.captured) be.captured->flags &= ~wflag::captured;
    be.captured = nullptr;
    be.pressed.clear();
    be.click_state = be.click_state == 10 ? 0 : 2;
    be.click_time = 0;
  }
}

void route_wheel(int32_t direction, float x, float y, uint32_t flags) {
  if (!be.active) return;
  busy_scope hold;
  route_wheel_in(be.active->root, direction, x, y, flags);
}

}  // namespace kaz::tui

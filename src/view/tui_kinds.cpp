// Widget kinds: the makers, renders, event functions and text-mode UIs of the face types that
// the terminal back-end knows beyond plain faces.
#include <algorithm>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "datatypes/handle.h"
#include "datatypes/integer.h"
#include "datatypes/map.h"
#include "datatypes/simple_types.h"
#include "memory/char_width.h"
#include "view/tui_backend.h"

namespace kaz::tui {

namespace {

int32_t width_of(uint32_t c) { return c < 0x20 ? 1 : unicode::char_width(int32_t(c)); }

// The function `name` of the TUI-helpers context, or none.
cell helper(std::string_view name) {
  cell word;
  context::intern_global(symbol::make("TUI-helpers"), &word);
  const cell* obj = context::get_value(&word);
  cell out{type::none, 0, 0, 0};
  if (const cell* f = field_named(obj, symbol::make(name))) out = *f;
  return out;
}

// Runs a TUI-helpers function on the widget's face; a string result becomes its UI string.
void call_helper(widget* w, std::string_view name, bool keep_result) {
  if (!w->face.header) return;
  cell fn = helper(name);
  if (type_of(&fn) != type::function) return;
  cell face = w->face;
  cell result;
  busy_scope hold;
  if (!call_safely(&fn, {&face}, &result) || w->dead) return;
  if (keep_result && type_of(&result) == type::string) w->ui = result;
}

// The face text as a string, made when it is not one.
const cell* ensure_text(widget* w) {
  const cell* text = field_of(&w->face, facet::text);
  if (!text) return nullptr;
  if (type_of(text) != type::string) {
    cell s;
    string::make_at(&s, 10);
    cell* made = field_of_rw(&w->face, facet::text);
    if (!made) return nullptr;
    *made = s;
    return made;
  }
  return text;
}

void set_integer(cell* c, int32_t v) {
  *c = cell{type::integer, 0, uint32_t(v), 0};
}

// ---------------------------------------------------------------- field

void make_field(widget* w) {
  w->flags |= wflag::caret;
  w->field = field_state{};
  const cell* text = field_of(&w->face, facet::text);
  if (text && type_of(text) == type::string) {
    extent e = text_extent(text_of_string(text), w->width());
    w->field.caret_index = e.chars;
    w->field.caret_column = e.width;
    w->field.text_width = e.width;
  }
}

int32_t field_event(widget* w, int32_t code, float x, int32_t k) {
  const cell* text = ensure_text(w);
  if (!text) return 0;
  cell s = *text;
  field_state& f = w->field;
  uint32_t length = string::length_from_head(&s);
  if (f.caret_index > int32_t(length)) f.caret_index = int32_t(length);
  auto char_at = [&](int32_t i) { return string::text_of(&s).at(uint32_t(i)); };
  bool edited = false;
  if (code == ev::click) {
    extent e = text_extent(text_of_string(&s), std::max(0, to_cells(x)));
    f.caret_index = e.chars;
    f.caret_column = e.width;
  } else if (code == ev::key) {
    if (k == 0 || k == 9 || k == 13) return 0;
    if (k == 2 || k == named_key::left) {
      if (f.caret_index > 0) f.caret_column -= width_of(char_at(--f.caret_index));
    } else if (k == 6 || k == named_key::right) {
      if (f.caret_index < int32_t(length)) f.caret_column += width_of(char_at(f.caret_index++));
    } else if (k == 8 || k == 127) {
      if (f.caret_index > 0) {
        int32_t cw = width_of(char_at(f.caret_index - 1));
        string::remove_part(s.data2, s.data1 + uint32_t(f.caret_index - 1), 1);
        --f.caret_index;
        f.caret_column -= cw;
        f.text_width -= cw;
        edited = true;
      }
    } else if (k > 31 && k != 127) {
      int32_t cw = width_of(uint32_t(k));
      if (w->width() - cw < f.text_width) return 0;  // full: no horizontal scrolling
      string::insert_code_point(s.data2, s.data1 + uint32_t(f.caret_index), uint32_t(k));
      ++f.caret_index;
      f.caret_column += cw;
      f.text_width += cw;
      edited = true;
    } else {
      return 0;
    }
  } else {
    return 0;
  }
  request_redraw(w);
  // Each edit is a change: the field's on-change actor runs, its data follows its text and the
  // reactions on it are told.
  if (edited) send_widget_event(ev::change, w, 0);
  return 0;
}

// ---------------------------------------------------------------- text-list

int32_t item_count(const cell* data) {
  if (!data) return -1;
  uint32_t t = type_of(data);
  if (t == type::block || t == type::hash) return block::rs_length(data);
  if (t == type::map) return int32_t(map::entry_count(data));
  return -1;
}

int32_t text_list_event(widget* w, int32_t code, float y, int32_t k) {
  const cell* data = field_of(&w->face, facet::data);
  int32_t count = item_count(data);
  if (count < 0) return 0;
  if (code == ev::focus) {
    update_ui(w);
    request_redraw(w);
    return 0;
  }
  const cell* sel = field_of(&w->face, facet::selected);
  int32_t old = sel && type_of(sel) == type::integer ? integer_type::value_of(sel) : 0;
  int32_t now = old;
  if (code == ev::key) {
    if (k == named_key::up) {
      if (old > 1) {
        now = old - 1;
        if (now - 1 < w->first_line && w->first_line > 0) --w->first_line;
      }
    } else if (k == named_key::down) {
      if (old < count) {
        now = old + 1;
        if (w->first_line < now - w->height()) ++w->first_line;
      }
    } else {
      return 0;
    }
  } else if (code == ev::click) {
    now = w->first_line + to_cells(y) + 1;
    if (now > count) now = count;
    if (now < 1) return 0;
  } else {
    return 0;
  }
  if (now == old) return 0;
  busy_scope hold;
  int32_t answer = send_picked_event(ev::select, w, now);
  if (w->dead) return 0;
  const cell* state = field_of(&w->face, facet::state);
  sel = field_of(&w->face, facet::selected);
  bool still = sel && ((type_of(sel) == type::integer && integer_type::value_of(sel) == old) ||
                       (old == 0 && type_of(sel) != type::integer));
  if (state && type_of(state) == type::block && still) {
    set_integer(field_of_rw(&w->face, facet::selected), now);
    update_ui(w);
    request_redraw(w);
    if (!w->dead && answer != 1) send_picked_event(ev::change, w, now);
  }
  return 0;
}

// ---------------------------------------------------------------- check and radio

int32_t toggle_event(widget* w, int32_t code, int32_t k) {
  if (code == ev::focus) {
    request_redraw(w);
    return 0;
  }
  if (!(code == ev::click || (code == ev::key && k == 32))) return 0;
  cell* data = field_of_rw(&w->face, facet::data);
  if (!data) return 0;
  if (w->k == kind::check) {
    bool on = type_of(data) == type::none || (type_of(data) == type::logic && !logic_type::value_of(data));
    *data = cell{type::logic, on ? 1u : 0u, 0, 0};
  } else {
    *data = cell{type::logic, 1, 0, 0};
  }
  busy_scope hold;
  update_ui(w);
  if (w->dead) return 0;
  request_redraw(w);
  send_widget_event(ev::change, w, 0);
  return 0;
}

// ---------------------------------------------------------------- base and group-box

void make_base(widget* w) {
  const cell* options = field_of(&w->face, facet::options);
  if (options && type_of(options) == type::block && block::rs_length(options) % 2 == 0) {
    cell b = *options;
    for (int32_t i = 0; i + 1 < block::rs_length(&b); i += 2) {
      const cell* key = block::rs_head(&b) + i;
      if (!is_word_named(key, "caret")) continue;
      cell v = *(key + 1);
      if (type_of(&v) == type::word && v.data1) {
        const cell* bound = context::get_value(&v);
        if (bound) v = *bound;
      }
      widget* target = widget_of_face(&v);
      w->flags |= wflag::caret_owner;
      if (target) {
        target->flags |= wflag::caret;
        w->caret_for = target->handle;
      }
    }
  }
  count_in_window(w);
}

void render_group_box(widget* w, int32_t x, int32_t y) {
  render_face(x, y, w, tflag::no_text);
  rect clip = clip_rect(x, y, w);
  if (clip.empty()) return;
  const cell* options = field_of(&w->face, facet::options);
  const cell* corners = option_value(options, "border-corners");
  bool round = corners && is_word_named(corners, "round");
  const cell* bc = option_value(options, "border-color");
  bool colored = bc && type_of(bc) == type::tuple;
  uint32_t frame_color = colored ? tuple_color(bc) : 0;
  int32_t l = x, t = y, r = x + w->width() - 1, b = y + w->height() - 1;
  auto put = [&](int32_t cx, int32_t cy, uint32_t code) {
    if (cx < clip.left || cx >= clip.right || cy < clip.top || cy >= clip.bottom) return;
    screen_cell* c = be.screen.at(cx, cy);
    c->code = code;
    c->attrs &= ~attr::continuation;
    if (colored) c->fg = frame_color;
  };
  for (int32_t cx = l + 1; cx < r; ++cx) put(cx, t, 0x2500), put(cx, b, 0x2500);
  for (int32_t cy = t + 1; cy < b; ++cy) put(l, cy, 0x2502), put(r, cy, 0x2502);
  put(l, t, round ? 0x256D : 0x250C);
  put(r, t, round ? 0x256E : 0x2510);
  put(l, b, round ? 0x2570 : 0x2514);
  put(r, b, round ? 0x256F : 0x2518);
  const cell* text = field_of(&w->face, facet::text);
  if (text && is_any_string(type_of(text))) {
    text_style style{tflag::escapes, 0, font_color(field_of(&w->face, facet::font)), 0};
    rect title{std::max(clip.left, l + 1), clip.top, std::min(clip.right, r), clip.bottom};
    if (t >= clip.top) draw_text(text_of_string(text), l + 1, t, title, style);
  }
}

}  // namespace

kind kind_of_type(uint32_t s) {
  static constexpr std::pair<const char*, kind> rows[] = {
      {"window", kind::window},     {"base", kind::base},           {"field", kind::field},
      {"button", kind::button},     {"progress", kind::progress},   {"text-list", kind::text_list},
      {"rich-text", kind::rich_text}, {"group-box", kind::group_box}, {"check", kind::check},
      {"radio", kind::radio}};
  for (const auto& r : rows)
    if (symbol_is(s, r.first)) return r.second;
  return kind::plain;
}

void attach_kind(widget* w) {
  switch (kind_of_type(w->type_symbol)) {
    case kind::window: make_window_widget(w); break;
    case kind::base: w->k = kind::base; make_base(w); break;
    case kind::field: w->k = kind::field; make_field(w); break;
    case kind::button: w->k = kind::button; break;
    case kind::progress: w->k = kind::progress; update_ui(w); break;
    case kind::text_list: w->k = kind::text_list; update_ui(w); break;
    case kind::rich_text: w->k = kind::rich_text; update_ui(w); break;
    case kind::group_box: w->k = kind::group_box; break;
    case kind::check: w->k = kind::check; update_ui(w); break;
    case kind::radio: w->k = kind::radio; update_ui(w); break;
    case kind::plain: break;
  }
}

void update_ui(widget* w) {
  switch (w->k) {
    case kind::progress: call_helper(w, "make-progress-ui", false); break;
    case kind::text_list: call_helper(w, "make-text-list-ui", false); break;
    case kind::check: call_helper(w, "make-checkbox-ui", true); break;
    case kind::radio: call_helper(w, "make-radio-ui", true); break;
    case kind::rich_text: rich_text_update(w); break;
    default: break;
  }
}

void render_widget(widget* w, int32_t x, int32_t y) {
  bool focused = w->has(wflag::focused);
  switch (w->k) {
    case kind::window:
      return;
    case kind::field:
      w->bottom = w->top + 1;
      render_face(x, y, w, w->has(wflag::password) ? tflag::escapes | attr::password : tflag::escapes);
      if (focused) {
        be.caret_column = x + w->field.caret_column;
        be.caret_row = y;
      }
      return;
    case kind::button:
      render_face(x, y, w, focused ? tflag::escapes | attr::reverse : tflag::escapes);
      return;
    case kind::progress:
    case kind::rich_text:
      render_face(x, y, w, 0);
      return;
    case kind::check:
    case kind::radio:
      render_face(x, y, w, tflag::escapes | tflag::no_text | (focused ? attr::reverse : 0));
      return;
    case kind::group_box:
      render_group_box(w, x, y);
      return;
    case kind::base:
      if (w->has(wflag::caret_owner)) {
        widget* target = widget_of_handle(w->caret_for);
        if (target && target->has(wflag::focused)) be.caret_column = x, be.caret_row = y;
        return;
      }
      render_face(x, y, w, tflag::escapes);
      return;
    default:
      render_face(x, y, w, tflag::escapes);
  }
}

int32_t widget_event(widget* w, int32_t code, float x, float y, int32_t k) {
  if (w->dead || !w->face.header) return 0;
  switch (w->k) {
    case kind::field:
      return field_event(w, code, x, k);
    case kind::button:
      if (code == ev::key && k != 0) {
        if (k == 32) {
          busy_scope hold;
          send_mouse_event(ev::click, w, 0, 0, 0);
        }
        if (!w->dead) request_redraw(w);
      }
      return 0;
    case kind::text_list:
      return text_list_event(w, code, y, k);
    case kind::check:
    case kind::radio:
      return toggle_event(w, code, k);
    default:
      return 0;
  }
}

void rich_text_update(widget* w) {
  const cell* text = field_of(&w->face, facet::text);
  const cell* data = field_of(&w->face, facet::data);
  if (!text || type_of(text) != type::string || string::length_from_head(text) == 0 || !data ||
      type_of(data) != type::block) {
    w->rich_cells.clear();
    return;
  }
  text_source t = text_of_string(text);
  uint32_t bg = tuple_color(field_of(&w->face, facet::color));
  w->rich_cells.assign(t.length, screen_cell{0, 0, 0, 0});
  for (uint32_t i = 0; i < t.length; ++i) w->rich_cells[i] = screen_cell{t.at(i), bg, 0, 0};
  cell d = *data;
  parse_rich_text(w, &d);
}

}  // namespace kaz::tui

// Text on the cell canvas: clipping, filling, drawing text with wrapping and SGR escapes,
// measuring, and the common render of a face (background, image, UI string, text, draw).
#include <algorithm>

#include "core/block_storage.h"
#include "core/error.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "memory/char_width.h"
#include "view/tui_backend.h"

namespace kaz::tui {

namespace {

constexpr uint32_t attr_mask = 0xFFF;

int32_t width_of(uint32_t c) {
  if (c < 0x20 || c == 0x7F) return 1;
  return unicode::char_width(int32_t(c));
}

}  // namespace

uint32_t text_source::at(uint32_t i) const {
  if (cells) return cells[i].code;
  return string::get_char(p + size_t(i) * unit, unit);
}

text_source text_of_string(const cell* s) {
  text_source t;
  if (!s || !is_any_string(type_of(s))) return t;
  string::text x = string::text_of(s);
  t.p = x.p;
  t.unit = x.unit;
  t.length = x.length;
  return t;
}

rect clip_rect(int32_t x, int32_t y, widget* w) {
  rect r{x, y, x + w->width(), y + w->height()};
  widget* p = w->parent;
  if (p && p->k != kind::window) {
    int32_t px = x - to_cells(w->left), py = y - to_cells(w->top);
    r.right = std::min(r.right, px + p->width());
    r.bottom = std::min(r.bottom, py + p->height());
    r.left = std::max(r.left, px);
    r.top = std::max(r.top, py);
  }
  r.right = std::min(r.right, be.screen.width);
  r.bottom = std::min(r.bottom, be.screen.height);
  r.left = std::max(r.left, 0);
  r.top = std::max(r.top, 0);
  return r;
}

// A face without a colour is transparent: its cells become spaces over the background of
// whatever lies below (a panel's colour shows around and behind its labels).
void fill_rect(const rect& r, uint32_t bg) {
  for (int32_t y = std::max(r.top, 0); y < std::min(r.bottom, be.screen.height); ++y)
    for (int32_t x = std::max(r.left, 0); x < std::min(r.right, be.screen.width); ++x) {
      screen_cell* c = be.screen.at(x, y);
      *c = screen_cell{' ', bg == color::default_ ? c->bg : bg, 0, 0};
    }
}

void apply_sgr_code(text_style& s, int32_t code) {
  uint32_t bit = 0;
  switch (code) {
    case 1: case 21: bit = attr::bold; break;
    case 2: case 22: bit = attr::dim; break;
    case 3: case 23: bit = attr::italic; break;
    case 4: case 24: bit = attr::underline; break;
    case 5: case 25: bit = attr::blink; break;
    case 7: case 27: bit = attr::reverse; break;
    case 8: case 28: bit = attr::hidden; break;
    case 9: case 29: bit = attr::strike; break;
    default: break;
  }
  if (code == 0) {
    s.fg = s.bg = 0;
    s.flags &= ~attr_mask;
  } else if (bit) {
    if (code < 10) s.flags |= bit;
    else s.flags &= ~bit;
  } else if (code >= 30 && code <= 37) {
    s.fg = color::named(uint32_t(code - 30));
  } else if (code == 39) {
    s.fg = color::named(9);
  } else if (code >= 40 && code <= 47) {
    s.bg = color::named(uint32_t(code - 40));
  } else if (code == 49) {
    s.bg = color::named(9);
  } else if (code >= 90 && code <= 97) {
    s.fg = color::named(uint32_t(code - 80));
  } else if (code >= 100 && code <= 107) {
    s.bg = color::named(uint32_t(code - 90));
  }
}

uint32_t parse_ansi(const text_source& t, uint32_t from, text_style& s) {
  if (from >= t.length || t.at(from) != '[') return 0;
  int32_t group[3] = {0, 0, 0};
  int32_t count = 0, current = 0;
  bool digits = false;
  auto flush_group = [&](bool apply) {
    if (apply) {
      if (count == 3 && (group[0] == 38 || group[0] == 48) && group[1] == 5) {
        uint32_t c = color::palette(uint32_t(group[2]));
        (group[0] == 38 ? s.fg : s.bg) = c;
      } else {
        for (int32_t k = 0; k < count; ++k) apply_sgr_code(s, group[k]);
      }
    }
    count = 0;
  };
  uint32_t i = from + 1;
  for (; i < t.length; ++i) {
    uint32_t c = t.at(i);
    if (c >= '0' && c <= '9') {
      if (current < 100000) current = current * 10 + int32_t(c - '0');
      digits = true;
    } else if (c == ';') {
      if (count == 3) flush_group(true);
      group[count++] = current;
      current = 0;
      digits = false;
    } else {
      bool known = c == 'm' || c == 's' || c == 'u' || c == 'H' || c == 'f' || c == 'J' ||
                   c == 'K' || c == 'A' || c == 'B' || c == 'C' || c == 'D';
      if (!known) return i - from;  // ends the sequence; that character is text
      if (c == 'm') {
        if (count == 3) flush_group(true);
        if (digits || count > 0 || true) group[count++] = current;
        flush_group(true);
      }
      return i - from + 1;
    }
  }
  return i - from;
}

void draw_text(const text_source& t, int32_t x, int32_t y, const rect& clip, text_style style) {
  if (clip.empty()) return;
  bool wrap = (style.para & para::wrap) != 0;
  int32_t col = x, row = y;
  uint32_t i = 0, n = t.length;
  while (row < clip.top && i < n) {
    uint32_t c = t.at(i++);
    if (c == '\n') {
      col = x, ++row;
      continue;
    }
    col += width_of(c);
    if (wrap && col >= clip.right) col = x, ++row;
  }
  while (i < n && row < clip.bottom) {
    uint32_t c = t.at(i);
    if (c == 0x1B && !t.cells && (style.flags & tflag::escapes)) {
      uint32_t k = parse_ansi(t, i + 1, style);
      i += 1 + k;
      continue;
    }
    if (c == '\n') {
      col = x, ++row, ++i;
      continue;
    }
    int32_t w = width_of(c);
    int32_t next = col + w;
    if (w > 0 && col >= clip.left && next <= clip.right && row >= clip.top) {
      screen_cell* cellp = be.screen.at(col, row);
      cellp->code = c;
      if (t.cells) {
        cellp->fg = t.cells[i].fg;
        if (t.cells[i].bg) cellp->bg = t.cells[i].bg;
        cellp->attrs = t.cells[i].attrs | (style.flags & attr_mask);
      } else {
        cellp->fg = style.fg;
        if (style.bg != color::default_ && (style.flags & tflag::escapes)) cellp->bg = style.bg;
        cellp->attrs = style.flags & attr_mask;
      }
      for (int32_t k = 1; k < w; ++k) {
        screen_cell* more = be.screen.at(col + k, row);
        more->code = 0;
        more->fg = cellp->fg;
        more->bg = cellp->bg;
        more->attrs = cellp->attrs | attr::continuation;
      }
    }
    col = next;
    ++i;
    if (col >= clip.right) {
      if (wrap) {
        col = x, ++row;
      } else {
        while (i < n && t.at(i) != '\n') ++i;
      }
    }
  }
}

extent text_extent(const text_source& t, int32_t limit) {
  extent e{0, 0, t.length ? 1 : 0};
  int32_t cur = 0;
  for (uint32_t i = 0; i < t.length; ++i) {
    uint32_t c = t.at(i);
    if (c == '\n') {
      ++e.lines, cur = 0, ++e.chars;
      continue;
    }
    int32_t w = width_of(c);
    if (limit >= 0 && cur + w > limit) break;
    cur += w;
    ++e.chars;
    e.width = std::max(e.width, cur);
    if (limit >= 0 && cur >= limit) break;
  }
  return e;
}

extent measure_text(const text_source& t, int32_t limit) {
  extent e{0, 0, t.length ? 1 : 0};
  int32_t cur = 0;
  for (uint32_t i = 0; i < t.length; ++i) {
    uint32_t c = t.at(i);
    ++e.chars;
    if (c == '\n') {
      ++e.lines, cur = 0;
      continue;
    }
    int32_t w = width_of(c);
    if (limit > 0 && cur > 0 && cur + w > limit) ++e.lines, cur = 0;
    cur += w;
    e.width = std::max(e.width, cur);
  }
  return e;
}

namespace {

void draw_image_cells(widget* w, int32_t x, int32_t y, const rect& clip) {
  int32_t iw = w->image_width;
  if (iw <= 0) return;
  int32_t ih = int32_t(w->image_cells.size()) / iw;
  for (int32_t r = 0; r < ih; ++r)
    for (int32_t c = 0; c < iw; ++c) {
      int32_t cx = x + c, cy = y + r;
      if (cx < clip.left || cx >= clip.right || cy < clip.top || cy >= clip.bottom) continue;
      *be.screen.at(cx, cy) = w->image_cells[size_t(r) * size_t(iw) + size_t(c)];
    }
}

}  // namespace

void render_face(int32_t x, int32_t y, widget* w, uint32_t flags) {
  cell face = w->face;
  uint32_t bg = tuple_color(field_of(&face, facet::color));
  uint32_t fg = font_color(field_of(&face, facet::font));
  uint32_t pf = align_flags(field_of(&face, facet::para));
  rect clip = clip_rect(x, y, w);
  if (clip.empty()) return;
  fill_rect(clip, bg);
  text_style style{flags, pf, fg, bg};
  if (!w->image_cells.empty()) draw_image_cells(w, x, y, clip);
  if (w->ui.header) {
    text_source t = text_of_string(&w->ui);
    draw_text(t, x, y, clip, style);
  }
  if (!(flags & tflag::no_text)) {
    text_source t;
    const cell* text = field_of(&face, facet::text);
    bool is_text = text && is_any_string(type_of(text));
    if (w->k == kind::rich_text && !w->rich_cells.empty()) {
      t.cells = w->rich_cells.data();
      t.length = uint32_t(w->rich_cells.size());
    } else if (is_text && string::length_from_head(text) > 0) {
      t = text_of_string(text);
    } else if (const cell* hint = option_value(field_of(&face, facet::options), "hint");
               hint && is_any_string(type_of(hint))) {
      t = text_of_string(hint);
      style.flags |= attr::dim;
    }
    if (t.length) {
      extent m = measure_text(t, pf ? w->width() : -1);
      int32_t dx = 0, dy = 0;
      if (m.width < w->width()) {
        if (pf & para::center) dx = (w->width() - m.width) / 2;
        else if (pf & para::right) dx = w->width() - m.width;
      }
      if (m.lines < w->height()) {
        if (pf & para::middle) dy = (w->height() - m.lines) / 2;
        else if (pf & para::bottom) dy = w->height() - m.lines;
      }
      draw_text(t, x + dx, y + dy, clip, style);
    }
  }
  const cell* draw = field_of(&face, facet::draw);
  if (draw && type_of(draw) == type::block && block::rs_length(draw) > 0 && !w->draw_failed) {
    cell block = *draw;
    stack::saved_state saved = stack::save();
    try {
      run_draw(w, x, y, clip, &block);
    } catch (const language_error&) {
      stack::unwind_to(saved);
      w->draw_failed = true;
      be.draw_error = error::in_flight;
    }
  }
}

}  // namespace kaz::tui

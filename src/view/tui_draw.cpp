// The draw dialect on the cell canvas: commands are checked and run one by one; boxes, lines
// and filled shapes are drawn with box-drawing and block characters, text with the face's text
// drawing, and the commands that need pixels are checked and paint nothing. Also the style runs
// of rich-text faces.
#include <algorithm>
#include <cmath>
#include <vector>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/symbol.h"
#include "datatypes/integer.h"
#include "datatypes/simple_types.h"
#include "runtime/fire.h"
#include "view/tui_backend.h"

namespace kaz::tui {

namespace {

// Thrown to abandon a draw run quietly (system/view/silent? set).
struct silent_stop {};

struct draw_context {
  widget* w;
  int32_t x, y;
  rect clip;
  bool pen_on = true;
  uint32_t pen = 0;
  bool fill_on = false;
  uint32_t fill = 0;
  uint32_t text_color = 0;
  bool font_color_set = false;
  std::vector<uint32_t> running;  // nodes of the blocks being run (a block inside itself)
};

[[noreturn]] void throw_error(const cell* block, int32_t index) {
  const cell* view = system_view();
  const cell* silent = view ? field_named(view, symbol::make("silent?")) : nullptr;
  if (silent && type_of(silent) == type::logic && logic_type::value_of(silent)) throw silent_stop{};
  cell at = *block;
  at.data1 += uint32_t(std::max(index, 0));
  fire(err::script_draw_invalid, &at);
}

// The commands of the dialect; any other word is an error.
constexpr const char* command_words[] = {
    "pen", "fill-pen", "box", "line", "triangle", "circle", "ellipse", "font", "text",
    "anti-alias", "polygon", "line-width", "line-join", "line-cap", "line-pattern", "spline",
    "arc", "curve", "image", "shadow", "clip", "shape", "rotate", "scale", "translate", "skew",
    "transform", "push", "matrix", "reset-matrix", "invert-matrix"};

bool is_command(const cell* c) {
  if (type_of(c) != type::word) return false;
  for (const char* w : command_words)
    if (symbol_is(c->data2, w)) return true;
  return false;
}

struct runner {
  draw_context& cx;
  cell block;
  int32_t i = 0;

  int32_t length() { return block::rs_length(&block); }
  const cell* at(int32_t k) { return block::rs_head(&block) + k; }
  bool more() { return i < length(); }
  [[noreturn]] void error() { throw_error(&block, i); }

  bool peek_point() {
    return more() && (type_of(at(i)) == type::pair || type_of(at(i)) == type::point2d);
  }
  bool peek_number() {
    return more() && (type_of(at(i)) == type::integer || type_of(at(i)) == type::float_);
  }
  void point(int32_t& px, int32_t& py) {
    float fx, fy;
    if (!more() || !read_point(at(i), fx, fy)) error();
    px = to_cells(std::floor(fx)), py = to_cells(std::floor(fy));
    ++i;
  }
  double number() {
    if (!peek_number()) error();
    const cell* c = at(i++);
    return type_of(c) == type::integer ? double(integer_type::value_of(c)) : get_double(c);
  }

  // ---------------------------------------------------------------- painting

  bool paints() const { return cx.w != nullptr; }
  void plot(int32_t px, int32_t py, uint32_t code, uint32_t fg) {
    if (px < cx.clip.left || px >= cx.clip.right || py < cx.clip.top || py >= cx.clip.bottom) return;
    if (!be.screen.inside(px, py)) return;
    screen_cell* c = be.screen.at(px, py);
    c->code = code;
    c->fg = fg;
    c->attrs &= ~attr::continuation;
  }
  void block_cell(int32_t px, int32_t py) { plot(px, py, 0x2588, cx.pen); }

  void line_cells(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    int32_t dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    int32_t dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int32_t err = dx + dy;
    for (int32_t guard = 0; guard < 100000; ++guard) {
      block_cell(x0, y0);
      if (x0 == x1 && y0 == y1) break;
      int32_t e2 = 2 * err;
      if (e2 >= dy) err += dy, x0 += sx;
      if (e2 <= dx) err += dx, y0 += sy;
    }
  }

  void draw_box(int32_t l, int32_t t, int32_t r, int32_t b) {
    if (l > r) std::swap(l, r);
    if (t > b) std::swap(t, b);
    l += cx.x, r += cx.x, t += cx.y, b += cx.y;
    if (r < cx.clip.left || l >= cx.clip.right || b < cx.clip.top || t >= cx.clip.bottom) return;
    for (int32_t py = std::max(t, cx.clip.top); py <= std::min(b, cx.clip.bottom - 1); ++py)
      for (int32_t px = std::max(l, cx.clip.left); px <= std::min(r, cx.clip.right - 1); ++px) {
        if (px < cx.clip.left || px >= cx.clip.right || py < cx.clip.top || py >= cx.clip.bottom ||
            !be.screen.inside(px, py))
          continue;
        screen_cell* c = be.screen.at(px, py);
        if (cx.fill_on) c->code = ' ', c->bg = cx.fill;
        if (!cx.pen_on) continue;
        bool left = px == l, right = px == r, top = py == t, bottom = py == b;
        uint32_t code = 0;
        if (top && left) code = 0x250C;
        else if (top && right) code = 0x2510;
        else if (bottom && left) code = 0x2514;
        else if (bottom && right) code = 0x2518;
        else if (left || right) code = 0x2502;
        else if (top || bottom) code = 0x2500;
        if (code) c->code = code, c->fg = cx.pen, c->attrs &= ~attr::continuation;
      }
  }

  void ellipse_raster(int32_t cx0, int32_t cy0, int32_t a, int32_t b) {
    if (a < 1 || b < 1) return;
    // Midpoint ellipse: the four symmetric cells of each step.
    int64_t a2 = int64_t(a) * a, b2 = int64_t(b) * b;
    int32_t px = 0, py = b;
    int64_t d = b2 - a2 * b + a2 / 4;
    auto four = [&](int32_t ex, int32_t ey) {
      block_cell(cx0 + ex, cy0 + ey), block_cell(cx0 - ex, cy0 + ey);
      block_cell(cx0 + ex, cy0 - ey), block_cell(cx0 - ex, cy0 - ey);
    };
    while (b2 * px <= a2 * py) {
      four(px, py);
      if (d < 0) {
        d += b2 * (2 * px + 3);
      } else {
        d += b2 * (2 * px + 3) + a2 * (-2 * py + 2);
        --py;
      }
      ++px;
    }
    d = b2 * (2 * px + 1) * (2 * px + 1) / 4 + a2 * int64_t(py - 1) * (py - 1) - a2 * b2;
    while (py >= 0) {
      four(px, py);
      if (d > 0) {
        d += a2 * (-2 * py + 3);
      } else {
        d += b2 * (2 * px + 2) + a2 * (-2 * py + 3);
        ++px;
      }
      --py;
    }
  }

  struct pt {
    int32_t x, y;
  };
  void fill_triangle(const int32_t corners[3][2]) {
    pt q[3] = {{corners[0][0], corners[0][1]}, {corners[1][0], corners[1][1]},
               {corners[2][0], corners[2][1]}};
    std::sort(q, q + 3, [](const pt& a, const pt& b) { return a.y < b.y; });
    int32_t p[3][2] = {{q[0].x, q[0].y}, {q[1].x, q[1].y}, {q[2].x, q[2].y}};
    auto edge_x = [](const int32_t* a, const int32_t* b, int32_t y) {
      if (b[1] == a[1]) return double(a[0]);
      return a[0] + double(b[0] - a[0]) * (y - a[1]) / double(b[1] - a[1]);
    };
    // Only the rows and columns the clip rectangle can show are walked.
    int32_t first = std::max(p[0][1], cx.clip.top - cx.y), last = std::min(p[2][1], cx.clip.bottom - cx.y);
    for (int32_t y = first; y <= last; ++y) {
      double xa = edge_x(p[0], p[2], y);
      double xb = y < p[1][1] ? edge_x(p[0], p[1], y) : edge_x(p[1], p[2], y);
      if (xa > xb) std::swap(xa, xb);
      int32_t from = std::max(to_cells(std::round(xa)), cx.clip.left - cx.x);
      int32_t to = std::min(to_cells(std::round(xb)), cx.clip.right - cx.x);
      for (int32_t x = from; x <= to; ++x) {
        int32_t px = x + cx.x, py = y + cx.y;
        if (px < cx.clip.left || px >= cx.clip.right || py < cx.clip.top || py >= cx.clip.bottom ||
            !be.screen.inside(px, py))
          continue;
        screen_cell* c = be.screen.at(px, py);
        c->code = ' ';
        c->bg = cx.fill;
      }
    }
  }

  // ---------------------------------------------------------------- commands

  // A colour, `off`, or a paint value; answers false for off.
  bool paint(uint32_t& colour, bool& set) {
    if (!more()) error();
    const cell* v = at(i);
    if (type_of(v) == type::tuple) {
      colour = tuple_color(v);
      set = true;
      ++i;
      return true;
    }
    if (is_word_named(v, "off")) {
      ++i;
      return false;
    }
    for (const char* g : {"linear", "radial", "diamond", "pattern", "bitmap"}) {
      if (!is_word_named(v, g)) continue;
      ++i;
      skip_arguments();
      return true;
    }
    error();
  }

  // The arguments of a command that paints nothing here: values up to the next command.
  void skip_arguments() {
    while (more() && !is_command(at(i)) && type_of(at(i)) != type::set_word) {
      if (type_of(at(i)) == type::block) {
        cell nested = *at(i);
        ++i;
        run_nested(nested);
        continue;
      }
      ++i;
    }
  }

  void run_nested(cell nested) {
    runner r{cx, nested};
    r.run();
  }

  void command(const cell* word) {
    uint32_t s = word->data2;
    auto is = [&](const char* name) { return symbol_is(s, name); };
    if (is("pen")) {
      bool set = false;
      uint32_t c = 0;
      if (paint(c, set)) {
        cx.pen_on = true;
        if (set) {
          cx.pen = c;
          if (!cx.font_color_set) cx.text_color = c;
        }
      } else {
        cx.pen_on = false;
      }
    } else if (is("fill-pen")) {
      bool set = false;
      uint32_t c = 0;
      if (paint(c, set)) {
        if (set) cx.fill = c, cx.fill_on = true;
      } else {
        cx.fill_on = false;
      }
    } else if (is("box")) {
      int32_t x0, y0, x1, y1;
      point(x0, y0);
      point(x1, y1);
      if (peek_number()) number();
      if (paints()) draw_box(x0, y0, x1, y1);
    } else if (is("line")) {
      int32_t x0, y0, x1, y1;
      point(x0, y0);
      point(x1, y1);
      if (paints()) line_cells(x0 + cx.x, y0 + cx.y, x1 + cx.x, y1 + cx.y);
      while (peek_point()) {
        x0 = x1, y0 = y1;
        point(x1, y1);
        if (paints()) line_cells(x0 + cx.x, y0 + cx.y, x1 + cx.x, y1 + cx.y);
      }
    } else if (is("triangle")) {
      int32_t p[3][2];
      for (auto& q : p) point(q[0], q[1]);
      if (!paints()) return;
      int32_t e[3][2];
      std::copy(&p[0][0], &p[0][0] + 6, &e[0][0]);
      if (cx.fill_on) fill_triangle(p);
      if (cx.pen_on)
        for (int32_t k = 0; k < 3; ++k)
          line_cells(e[k][0] + cx.x, e[k][1] + cx.y, e[(k + 1) % 3][0] + cx.x,
                     e[(k + 1) % 3][1] + cx.y);
    } else if (is("circle")) {
      int32_t x0, y0;
      point(x0, y0);
      double r = number();
      if (peek_number()) r = number();
      if (paints() && r > 0 && cx.pen_on)
        ellipse_raster(x0 + cx.x, y0 + cx.y, to_cells(2 * std::min(r, 4096.0)),
                       to_cells(std::min(r, 4096.0)));
    } else if (is("ellipse")) {
      int32_t x0, y0, w, h;
      point(x0, y0);
      point(w, h);
      if (paints() && w >= 1 && h >= 1 && cx.pen_on) {
        int32_t hr = std::min(to_cells((w + 0.5) / 2), 8192), vr = std::min(to_cells((h + 0.5) / 2), 4096);
        ellipse_raster(x0 + hr + cx.x, y0 + vr + cx.y, hr, vr);
      }
    } else if (is("font")) {
      if (!more()) error();
      cell f = *at(i);
      if (type_of(&f) == type::word && f.data1) f = *context::get_value(&f);
      if (type_of(&f) != type::object) error();
      ++i;
      const cell* c = field_named(&f, symbol::make("color"));
      if (c && type_of(c) == type::tuple) {
        cx.text_color = tuple_color(c);
        cx.font_color_set = true;
      }
    } else if (is("text")) {
      int32_t px, py;
      point(px, py);
      if (!more()) error();
      cell t = *at(i);
      if (!is_any_string(type_of(&t)) && type_of(&t) != type::object) error();
      ++i;
      if (!paints() || !is_any_string(type_of(&t))) return;
      uint32_t fg = cx.font_color_set ? cx.text_color : cx.pen_on ? cx.pen : 0;
      text_style style{tflag::escapes, para::wrap, fg, 0};
      draw_text(text_of_string(&t), cx.x + px, cx.y + py, cx.clip, style);
    } else if (is("anti-alias")) {
      if (!more() || type_of(at(i)) != type::word) error();
      ++i;
    } else if (is("polygon")) {
      int32_t n = 0, px, py;
      while (peek_point()) point(px, py), ++n;
      if (n < 3) error();
    } else {
      skip_arguments();
    }
  }

  void run() {
    uint32_t node = block.data2;
    if (std::find(cx.running.begin(), cx.running.end(), node) != cx.running.end()) {
      cell b = block;
      fire(err::script_draw_infinite, &b);
    }
    cx.running.push_back(node);
    while (more()) {
      cell v = *at(i);
      if (type_of(&v) == type::word && is_command(&v)) {
        ++i;
        command(&v);
      } else if (type_of(&v) == type::set_word) {
        ++i;
        cell position{type::integer, 0, uint32_t(i + 1), 0};
        context::set_value(&v, &position, false);  // no handlers run while a frame is drawn
      } else if (type_of(&v) == type::block) {
        ++i;
        run_nested(v);
      } else {
        error();
      }
    }
    cx.running.pop_back();
  }
};

}  // namespace

void run_draw(widget* w, int32_t x, int32_t y, const rect& clip, const cell* block) {
  if (type_of(block) != type::block || block::rs_length(block) == 0) return;
  draw_context cx{w, x, y, clip};
  try {
    runner r{cx, *block};
    r.run();
  } catch (const silent_stop&) {
  }
}

void parse_rich_text(widget* w, const cell* data) {
  int32_t n = int32_t(w->rich_cells.size());
  int32_t start = 0, length = n;
  cell b = *data;
  auto run_apply = [&](auto&& f) {
    for (int32_t k = std::max(start, 0); k < std::min(start + length, n); ++k) f(w->rich_cells[size_t(k)]);
  };
  int32_t count = block::rs_length(&b);
  for (int32_t i = 0; i < count; ++i) {
    cell v = *(block::rs_head(&b) + i);
    uint32_t t = type_of(&v);
    if (t == type::pair) {
      start = int32_t(v.data2) - 1;
      length = int32_t(v.data3);
      if (start < 0) start = 0;
      if (start > n) start = n;
      if (length < 0) length = 0;
    } else if (t == type::tuple) {
      uint32_t c = tuple_color(&v);
      run_apply([c](screen_cell& s) { s.fg = c; });
    } else if (is_any_string(t) || t == type::integer || t == type::float_) {
      // font name and size: nothing on the cell canvas
    } else if (is_word_named(&v, "backdrop")) {
      if (i + 1 < count && type_of(block::rs_head(&b) + i + 1) == type::tuple) {
        cell c = *(block::rs_head(&b) + ++i);
        uint32_t bg = tuple_color(&c);
        run_apply([bg](screen_cell& s) { s.bg = bg; });
      }
    } else if (is_word_named(&v, "bold") || is_word_named(&v, "italic") ||
               is_word_named(&v, "underline") || is_word_named(&v, "strike") ||
               is_word_named(&v, "border")) {
      uint32_t bit = is_word_named(&v, "bold")        ? attr::bold
                     : is_word_named(&v, "italic")    ? attr::italic
                     : is_word_named(&v, "underline") ? attr::underline
                     : is_word_named(&v, "strike")    ? attr::strike
                                                      : 0;
      run_apply([bit](screen_cell& s) { s.attrs |= bit; });
      if (bit != attr::bold && bit != attr::italic) {
        if (i + 1 < count && type_of(block::rs_head(&b) + i + 1) == type::tuple) ++i;
        if (i + 1 < count && type_of(block::rs_head(&b) + i + 1) == type::lit_word) ++i;
      }
    } else {
      throw_error(&b, i);
    }
  }
}

}  // namespace kaz::tui

#include "runtime/utf8_encode.h"
#include "view/tui_canvas.h"

#include <cstdio>
#include <cstring>

namespace kaz::tui {

namespace {

constexpr uint8_t cube_levels[6] = {0, 95, 135, 175, 215, 255};

// The first 16 palette entries, as xterm shows them.
constexpr uint32_t ansi16_rgb[16] = {
    0x000000, 0xCD0000, 0x00CD00, 0xCDCD00, 0x0000EE, 0xCD00CD, 0x00CDCD, 0xE5E5E5,
    0x7F7F7F, 0xFF0000, 0x00FF00, 0xFFFF00, 0x5C5CFF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

int32_t cube_level(int32_t v) { return v < 48 ? 0 : v < 115 ? 1 : (v - 35) / 40; }

int32_t distance2(uint32_t a, uint32_t b) {
  int32_t dr = int32_t((a >> 16) & 0xFF) - int32_t((b >> 16) & 0xFF);
  int32_t dg = int32_t((a >> 8) & 0xFF) - int32_t((b >> 8) & 0xFF);
  int32_t db = int32_t(a & 0xFF) - int32_t(b & 0xFF);
  return dr * dr + dg * dg + db * db;
}

// The nearest of the 16 named colours (0-7 normal, 8-15 bright) to an RGB value.
int32_t nearest16(uint32_t rgb) {
  int32_t best = 0, best_d = distance2(rgb, ansi16_rgb[0]);
  for (int32_t i = 1; i < 16; ++i) {
    int32_t d = distance2(rgb, ansi16_rgb[i]);
    if (d < best_d) best = i, best_d = d;
  }
  return best;
}

// SGR parameters of the named colours (tag 1) by index: foreground, background.
constexpr const char* named_params[18][2] = {
    {"30", "40"}, {"31", "41"}, {"32", "42"}, {"33", "43"}, {"34", "44"}, {"35", "45"},
    {"36", "46"}, {"37", "47"}, {"0", "0"},   {"39", "49"}, {"90", "100"}, {"91", "101"},
    {"92", "102"}, {"93", "103"}, {"94", "104"}, {"95", "105"}, {"96", "106"}, {"97", "107"}};

void append_int(std::string& out, int32_t v) {
  char b[16];
  int n = std::snprintf(b, sizeof b, "%d", v);
  out.append(b, size_t(n));
}

void append_16(std::string& out, int32_t index, bool fg) {
  append_int(out, (index < 8 ? (fg ? 30 : 40) : (fg ? 90 : 100)) + (index & 7));
}

}  // namespace

uint32_t palette_rgb(uint32_t index) {
  index &= 0xFF;
  if (index < 16) return ansi16_rgb[index];
  if (index >= 232) {
    uint32_t g = 8 + 10 * (index - 232);
    return (g << 16) | (g << 8) | g;
  }
  uint32_t i = index - 16;
  return (uint32_t(cube_levels[i / 36]) << 16) | (uint32_t(cube_levels[(i / 6) % 6]) << 8) |
         cube_levels[i % 6];
}

uint32_t rgb_to_ansi256(uint32_t c) {
  if ((c >> 24) == 255) return color::default_;
  int32_t r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
  uint32_t cube = 16 + 36 * cube_level(r) + 6 * cube_level(g) + cube_level(b);
  int32_t average = (r + g + b) / 3;
  uint32_t grey = 232 + (average > 238 ? 23 : average < 3 ? 0 : (average - 3) / 10);
  uint32_t self = (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
  uint32_t index =
      distance2(self, palette_rgb(cube)) < distance2(self, palette_rgb(grey)) ? cube : grey;
  return color::palette(index);
}

void canvas::resize(int32_t w, int32_t h) {
  if (w < 0) w = 0;
  if (h < 0) h = 0;
  width = w;
  height = h;
  size_t n = size_t(w) * size_t(h);
  if (cells.size() < n) cells.resize(n);
}

void canvas::clear() {
  std::memset(cells.data(), 0, sizeof(screen_cell) * size_t(width) * size_t(height));
}

void sgr_color(std::string& out, uint32_t c, bool fg, int32_t depth) {
  out += "\x1b[";
  uint32_t value = c & 0xFFFFFF;
  switch (color::tag(c)) {
    case 0:
      out += fg ? "39" : "49";
      break;
    case 1:
      out += value < 18 ? named_params[value][fg ? 0 : 1] : "0";
      break;
    case 2:
      if (depth == depth::colors16) {
        append_16(out, nearest16(palette_rgb(value)), fg);
      } else {
        out += fg ? "38;5;" : "48;5;";
        append_int(out, int32_t(value & 0xFF));
      }
      break;
    case 4:
      if (depth == depth::colors16) {
        append_16(out, nearest16(value), fg);
      } else if (depth == depth::colors256) {
        uint32_t bgr = ((value & 0xFF) << 16) | (value & 0xFF00) | ((value >> 16) & 0xFF);
        out += fg ? "38;5;" : "48;5;";
        append_int(out, int32_t(rgb_to_ansi256(bgr) & 0xFF));
      } else {
        out += fg ? "38;2;" : "48;2;";
        append_int(out, int32_t(value >> 16));
        out += ';';
        append_int(out, int32_t((value >> 8) & 0xFF));
        out += ';';
        append_int(out, int32_t(value & 0xFF));
      }
      break;
    default:
      out += '0';
  }
  out += 'm';
}

void sgr_attributes(std::string& out, screen_cell& p, const screen_cell& c, int32_t depth) {
  struct toggle {
    uint32_t bit;
    const char* on;
    const char* off;
  };
  static constexpr toggle toggles[] = {
      {attr::dim, "\x1b[2m", "\x1b[22m"},       {attr::reverse, "\x1b[7m", "\x1b[27m"},
      {attr::bold, "\x1b[1m", "\x1b[22m"},      {attr::italic, "\x1b[3m", "\x1b[23m"},
      {attr::strike, "\x1b[9m", "\x1b[29m"},    {attr::underline, "\x1b[4m", "\x1b[24m"}};
  uint32_t was = p.attrs, now = c.attrs;
  for (const toggle& t : toggles) {
    if ((now & t.bit) && !(was & t.bit)) out += t.on;
    if ((was & t.bit) && !(now & t.bit)) {
      out += t.off;
      // 22 ends bold and dim together: the other one is written again when it stays on.
      if (t.bit == attr::dim && (now & attr::bold) && (was & attr::bold)) was &= ~attr::bold;
      if (t.bit == attr::bold && (now & attr::dim) && (was & attr::dim)) out += "\x1b[2m";
    }
  }
  if (c.fg != p.fg) sgr_color(out, c.fg, true, depth);
  if (c.bg != p.bg) sgr_color(out, c.bg, false, depth);
  p = c;
}

void append_utf8(std::string& out, uint32_t c) { unicode::utf8_append(out, c); }

int32_t emit_frame(const canvas& cv, const frame_place& place, int32_t depth, std::string& out) {
  if (cv.width < 1 || cv.height < 1) return place.lines_drawn;
  if (place.fullscreen) {
    out += "\x1b[H";
  } else {
    out += '\r';
    if (place.lines_drawn > 0) {
      out += "\x1b[";
      append_int(out, place.lines_drawn);
      out += 'A';
    }
    out += "\x1b[0J";
  }
  screen_cell prev{0, 0, 0, 0};
  for (int32_t y = 0; y < cv.height; ++y) {
    const screen_cell* row = &cv.cells[size_t(y) * size_t(cv.width)];
    for (int32_t x = 0; x < cv.width; ++x) {
      const screen_cell& c = row[x];
      if (c.attrs & attr::continuation) continue;
      sgr_attributes(out, prev, c, depth);
      if (c.attrs & attr::password)
        out += '*';
      else if (c.code < 0x20 || (c.code >= 0x7F && c.code < 0xA0))
        out += ' ';  // no control character reaches the terminal from a face's text
      else
        append_utf8(out, c.code);
    }
    if (y + 1 < cv.height) {
      prev.bg = 0;
      out += "\x1b[49m\r\n";
    }
  }
  screen_cell none{0, 0, 0, 0};
  sgr_attributes(out, prev, none, depth);
  if (place.show_caret && place.caret_column >= 0 && place.caret_row >= 0) {
    out += '\r';
    int32_t n = cv.height - (place.caret_row + 1);
    if (n > 0) {
      out += "\x1b[";
      append_int(out, n);
      out += 'A';
    }
    if (place.caret_column > 0) {
      out += "\x1b[";
      append_int(out, place.caret_column);
      out += 'C';
    }
    return place.caret_row;
  }
  return cv.height - 1;
}

}  // namespace kaz::tui

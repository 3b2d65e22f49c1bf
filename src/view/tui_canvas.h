// The cell canvas of the terminal windows: one screen of character cells, the colour encodings,
// the mapping of 24-bit colours to the terminal's depth, and the frame renderer that turns the
// cells into text with SGR attributes, written only where they change.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kaz::tui {

// Cell attribute bits.
namespace attr {
constexpr uint32_t blink = 0x1;
constexpr uint32_t bold = 0x2;
constexpr uint32_t dim = 0x4;
constexpr uint32_t reverse = 0x8;
constexpr uint32_t underline = 0x10;
constexpr uint32_t strike = 0x40;
constexpr uint32_t italic = 0x100;
constexpr uint32_t hidden = 0x200;
constexpr uint32_t continuation = 0x400;  // second column of a wide character: not written
constexpr uint32_t password = 0x800;      // written as "*"
}  // namespace attr

/*
 * An encoded colour: the top byte a tag, the low 24 bits its value. Tag 0 is the terminal's
 * default; tag 1 one of the named colours (0-7 normal, 8 reset, 9 default, 10-17 bright 0-7,
 * the numbering that SGR codes in face text give); tag 2 a 256-colour palette index; tag 4 a
 * 24-bit colour, R in bits 16-23, G 8-15, B 0-7.
 */
namespace color {
constexpr uint32_t default_ = 0;
constexpr uint32_t named_tag = 0x1000000;
constexpr uint32_t palette_tag = 0x2000000;
constexpr uint32_t rgb_tag = 0x4000000;
inline uint32_t tag(uint32_t c) { return c >> 24; }
inline uint32_t named(uint32_t index) { return named_tag | index; }
inline uint32_t palette(uint32_t index) { return palette_tag | (index & 0xFF); }
inline uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) {
  return rgb_tag | ((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF);
}
}  // namespace color

// Colour depths of the terminal, as the renderer writes colours.
namespace depth {
constexpr int32_t colors16 = 1;
constexpr int32_t colors256 = 2;
constexpr int32_t truecolor = 4;
}  // namespace depth

// The palette colour nearest to an RGB colour (R in bits 0-7, G 8-15, B 16-23, alpha 24-31):
// the 6x6x6 cube entry or the grey ramp entry, whichever is closer; tag 2. Alpha 255 (fully
// transparent) gives the default colour.
uint32_t rgb_to_ansi256(uint32_t bgr_alpha);

// The palette's RGB value (R in bits 16-23) of index 0-255.
uint32_t palette_rgb(uint32_t index);

struct screen_cell {
  uint32_t code;  // the character; 0 is drawn as a space
  uint32_t bg;
  uint32_t fg;
  uint32_t attrs;
};

// The screen buffer, row-major.
struct canvas {
  std::vector<screen_cell> cells;
  int32_t width = 0;
  int32_t height = 0;

  // Resizes the buffer; it is reallocated only when it must grow.
  void resize(int32_t w, int32_t h);
  void clear();
  screen_cell* at(int32_t x, int32_t y) { return &cells[size_t(y) * size_t(width) + size_t(x)]; }
  bool inside(int32_t x, int32_t y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

// Appends the SGR sequence of a colour at the given depth ("\e[...m").
void sgr_color(std::string& out, uint32_t c, bool foreground, int32_t depth);
// Appends what changes the attributes and colours of `prev` into those of `cur`; `prev`
// becomes `cur`.
void sgr_attributes(std::string& out, screen_cell& prev, const screen_cell& cur, int32_t depth);

// Where a frame goes and where the terminal cursor ends.
struct frame_place {
  bool fullscreen;
  int32_t lines_drawn;   // rows the cursor stood below the first row after the last frame
  bool show_caret;       // the focused widget shows the terminal cursor
  int32_t caret_column;  // relative to the canvas
  int32_t caret_row;
};

// Appends one frame of the canvas to `out`; answers the new lines-drawn count.
int32_t emit_frame(const canvas& cv, const frame_place& place, int32_t depth, std::string& out);

void append_utf8(std::string& out, uint32_t code);

}  // namespace kaz::tui

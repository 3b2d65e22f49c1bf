// The cell canvas's renderer: colour mapping to the palette and to each terminal depth, SGR
// changes written only where cells differ, wide characters, passwords and the caret.
#include <gtest/gtest.h>

#include <string>

#include "view/tui_canvas.h"

namespace kaz::tui {
namespace {

std::string color_sgr(uint32_t c, bool fg, int32_t depth) {
  std::string out;
  sgr_color(out, c, fg, depth);
  return out;
}

TEST(TuiCanvas, RgbMapsToTheNearestPaletteEntry) {
  struct row {
    uint32_t bgr_alpha;
    uint32_t index;
  };
  const row rows[] = {
      {0x0000FF, 196},  // red
      {0x808080, 244},  // mid grey: the grey ramp
      {0x000000, 16},   {0xFFFFFF, 231}, {0x00FF00, 46}, {0xFF0000, 21},
      {0x5F87AF, 137},  // 175.135.95 sits exactly on the cube
      {0xEEEEEE, 255},
  };
  for (const row& r : rows)
    EXPECT_EQ(rgb_to_ansi256(r.bgr_alpha), color::palette(r.index)) << std::hex << r.bgr_alpha;
  EXPECT_EQ(rgb_to_ansi256(0xFF0000FF), color::default_);  // fully transparent
}

TEST(TuiCanvas, ColoursAreWrittenAtTheTerminalsDepth) {
  struct row {
    uint32_t color;
    bool fg;
    int32_t depth;
    const char* sgr;
  };
  const row rows[] = {
      {color::default_, true, depth::truecolor, "\x1b[39m"},
      {color::default_, false, depth::colors16, "\x1b[49m"},
      {color::named(1), true, depth::truecolor, "\x1b[31m"},
      {color::named(12), false, depth::colors256, "\x1b[102m"},
      {color::named(17), true, depth::colors16, "\x1b[97m"},
      {color::named(8), true, depth::truecolor, "\x1b[0m"},
      {color::palette(202), true, depth::colors256, "\x1b[38;5;202m"},
      {color::palette(196), false, depth::colors16, "\x1b[101m"},
      {color::rgb(0, 128, 255), false, depth::truecolor, "\x1b[48;2;0;128;255m"},
      {color::rgb(255, 0, 0), false, depth::colors256, "\x1b[48;5;196m"},
      {color::rgb(255, 0, 0), true, depth::colors16, "\x1b[91m"},
      {color::rgb(0, 0, 128), false, depth::colors16, "\x1b[44m"},
      {0x7000000, true, depth::truecolor, "\x1b[0m"},
  };
  for (const row& r : rows) EXPECT_EQ(color_sgr(r.color, r.fg, r.depth), r.sgr) << std::hex << r.color;
}

std::string frame_of(canvas& cv, frame_place place, int32_t depth = depth::truecolor) {
  std::string out;
  emit_frame(cv, place, depth, out);
  return out;
}

TEST(TuiCanvas, AFrameWritesAttributesOnlyWhereTheyChange) {
  canvas cv;
  cv.resize(4, 2);
  cv.clear();
  for (int x = 0; x < 4; ++x) cv.at(x, 0)->code = 'a' + uint32_t(x);
  cv.at(1, 0)->attrs = attr::bold;
  cv.at(2, 0)->attrs = attr::bold | attr::dim;
  cv.at(3, 0)->attrs = attr::bold;  // dim ends, bold stays: 22 then 1 again
  cv.at(0, 1)->code = 0x4E2D;       // a wide character and its continuation
  cv.at(1, 1)->attrs = attr::continuation;
  cv.at(2, 1)->code = 'p';
  cv.at(2, 1)->attrs = attr::password;
  cv.at(3, 1)->code = 0x1B;         // a control character is never written as is
  frame_place inline_{false, 2, false, 0, 0};
  EXPECT_EQ(frame_of(cv, inline_),
            "\r\x1b[2A\x1b[0J"
            "a\x1b[1mb\x1b[2mc\x1b[22m\x1b[1md\x1b[49m\r\n"
            "\x1b[22m\xe4\xb8\xad* ");
}

TEST(TuiCanvas, TheCaretEndsTheFrameWhereTheFieldWantsIt) {
  canvas cv;
  cv.resize(3, 3);
  cv.clear();
  cv.at(0, 0)->bg = color::palette(21);
  cv.at(1, 0)->bg = color::palette(21);
  frame_place place{false, 0, true, 2, 1};
  EXPECT_EQ(frame_of(cv, place, depth::colors256),
            "\r\x1b[0J\x1b[48;5;21m  \x1b[49m \x1b[49m\r\n   \x1b[49m\r\n   \r\x1b[1A\x1b[2C");
  frame_place full{true, 5, false, 0, 0};
  EXPECT_EQ(frame_of(cv, full, depth::colors256).substr(0, 3), "\x1b[H");
}

}  // namespace
}  // namespace kaz::tui

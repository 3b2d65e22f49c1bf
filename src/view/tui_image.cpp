// A face's image on the cell canvas: the image scaled to two pixels a cell, each cell a lower
// half block whose background is the upper pixel and whose foreground is the lower one.
#include "datatypes/image.h"
#include "datatypes/image_record.h"
#include "view/tui_backend.h"

namespace kaz::tui {

namespace {

// Cells beyond this many are not made: no terminal shows them, and the array would be huge.
constexpr uint64_t max_image_cells = uint64_t(1) << 22;

constexpr uint32_t lower_half_block = 0x2584;

// A pixel 0xAARRGGBB as a cell colour at the terminal's depth.
uint32_t pixel_color(uint32_t p) {
  uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
  if (be.color_mode == depth::truecolor) return color::rgb(r, g, b);
  return rgb_to_ansi256(r | (g << 8) | (b << 16));
}

}  // namespace

void image_to_cells(widget* w, const cell* image_in) {
  w->image_cells.clear();
  w->image_cells.shrink_to_fit();
  w->image_width = 0;
  if (!image_in || type_of(image_in) != type::image) return;
  cell img = *image_in;
  int32_t cw = w->width(), ch = w->height();
  uint32_t iw = image::width_of(&img), ih = image::height_of(&img);
  if (cw <= 0 || ch <= 0 || iw == 0 || ih == 0) return;
  uint64_t pw = uint64_t(cw), ph = uint64_t(ch) * 2;
  if (pw * uint64_t(ch) > max_image_cells || !image_record::size_allowed(pw, ph)) return;
  node_t scaled = image_record::resize(image::record_of(&img), iw, ih, uint32_t(pw), uint32_t(ph));
  const uint32_t* px = image_record::pixels(scaled);  // nothing below allocates collector memory
  w->image_cells.resize(size_t(cw) * size_t(ch));
  for (int32_t r = 0; r < ch; ++r)
    for (int32_t c = 0; c < cw; ++c) {
      uint32_t upper = px[size_t(2 * r) * pw + size_t(c)];
      uint32_t lower = px[size_t(2 * r + 1) * pw + size_t(c)];
      screen_cell& out = w->image_cells[size_t(r) * size_t(cw) + size_t(c)];
      if ((upper >> 24) == 0) out = screen_cell{' ', color::default_, color::default_, 0};
      else out = screen_cell{lower_half_block, pixel_color(upper), pixel_color(lower), 0};
    }
  w->image_width = cw;
}

}  // namespace kaz::tui

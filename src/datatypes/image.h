// image!: a rectangle of 32-bit pixels that the language treats as a series of pixels in row
// order. The pixels live in the image record (datatypes/image_record.h).
#pragma once

#include <cstdint>

#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::image {

/*
 * The cell: data1 the head, a pixel index from 0 in row order; data2 the node of the record
 * (every image has one, empty for 0 pixels); data3 the size, height << 16 | width. A pixel is
 * 0xAARRGGBB, A the opacity; the language shows colours as r.g.b.t tuples with t = 255 - A
 * (a 3-byte tuple is opaque).
 */
inline uint32_t width_of(const cell* c) { return c->data3 & 0xFFFF; }
inline uint32_t height_of(const cell* c) { return c->data3 >> 16; }
inline uint32_t count_of(const cell* c) { return width_of(c) * height_of(c); }
inline node_t record_of(const cell* c) { return c->data2; }

// Makes the cell an image! over the record, head 0.
cell* init_cell(cell* c, node_t record, uint32_t width, uint32_t height);

// Pixel data as a binary! from the first pixel: mode 0 alpha (255 - A a pixel), 1 rgb (R, G,
// B a pixel), 2 argb (the pixels as stored, B, G, R, A a pixel).
enum data_mode : uint32_t { alpha_mode = 0, rgb_mode = 1, argb_mode = 2 };
void extract_binary(const cell* image, data_mode mode, cell* out);


void init();

}  // namespace kaz::image

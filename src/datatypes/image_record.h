// The image record: the pixels behind an image! value, and what the image! actions ask of them
// (making, resizing, cropping). Decoding and encoding are the platform's (platform/image_io.h).
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/cell.h"
#include "memory/series.h"

namespace kaz::image_record {

/*
 * An image's record is a series of unit 4 in collector memory holding width x height pixels
 * 0xAARRGGBB (bytes B, G, R, A), top row first, rows without gaps; the image! cell carries its
 * node and size. The collector frees it with the last value that refers to it, counts it
 * toward its next collection, and keeps it while C++ code holds its node on the stack.
 * Pointers from `pixels` are valid until the next call that can allocate.
 */
inline uint32_t* pixels(node_t record) {
  return reinterpret_cast<uint32_t*>(memory::buffer_of(record)->head_rw());
}

// Whether a bitmap of that size can be made: each side at most 65535, the bytes within the
// largest series.
bool size_allowed(uint64_t width, uint64_t height);

// A record of width x height pixels, not yet written (a side of 0 gives an empty record). The
// size must be allowed.
node_t new_record(uint32_t width, uint32_t height);

/*
 * A record filled from the colour tuple (its fourth byte is transparency), else from the RGB
 * bytes (three a pixel) and the transparency bytes (one a pixel, A = 255 - byte); pixels past
 * the data are white and opaque. The binaries are read from their heads; null for absent.
 */
node_t make_bitmap(uint32_t width, uint32_t height, const cell* rgb, const cell* alpha,
                   const cell* colour);

// Nearest-neighbour scaling, each target pixel sampling the source at its centre.
node_t resize(node_t source, uint32_t width, uint32_t height, uint32_t to_width,
              uint32_t to_height);
// The rectangle at (x, y) of that size, which lies inside the source.
node_t copy_part(node_t source, uint32_t source_width, uint32_t x, uint32_t y, uint32_t width,
                 uint32_t height);

}  // namespace kaz::image_record

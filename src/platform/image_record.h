// The image record: the pixels behind an image! value, and what the image! actions ask of them
// (making, decoding, encoding, resizing, cropping).
#pragma once

#include <cstdint>
#include <vector>

#include "datatypes/cell.h"
#include "memory/series.h"

namespace kaz::image_os {

/*
 * An image's record is a series of unit 4 in collector memory holding width x height pixels
 * 0xAARRGGBB (bytes B, G, R, A), top row first, rows without gaps; the image! cell carries its
 * node and size. The collector frees it with the last value that refers to it, counts it
 * toward its next collection, and keeps it while C++ code holds its node on the stack.
 * Pointers from `pixels` are valid until the next call that can allocate.
 */
inline uint32_t* pixels(node_t record) {
  return reinterpret_cast<uint32_t*>(memory::buffer_of(record)->head());
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

// Decodes image data in any of the five formats, found from the content. 0 for data that does
// not decode; the size goes to width and height. The bytes must not lie in collector memory:
// making the record may collect.
node_t decode(const uint8_t* bytes, size_t size, uint32_t& width, uint32_t& height);
// The same from a file; 0 when it cannot be read or decoded.
node_t load_file(const cell* file, uint32_t& width, uint32_t& height);

// Encodes the record in the format (0 BMP, 1 PNG, 2 GIF, 3 JPEG, 4 TIFF); false when the
// library fails. A size of 0 gives no bytes.
bool encode(node_t record, uint32_t width, uint32_t height, uint32_t format,
            std::vector<uint8_t>& out);

}  // namespace kaz::image_os

// Images and their files: decoding and encoding image records in the five formats, and the
// codec entries that load, save and the clipboard call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::image_os {

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

/*
 * The codec entries. decode: a binary! (none when its signature is no known format, access
 * bad-media when it does not decode) or a file (access cannot-open when it cannot be read or
 * decoded). encode: the image in the format (0 BMP, 1 PNG, 2 GIF, 3 JPEG, 4 TIFF) as a new
 * binary!; an image of 0 pixels gives an empty one.
 */
void decode_value(const cell* data, cell* out);
void encode_value(const cell* image, uint32_t format, cell* out);


}  // namespace kaz::image_os

// The image codecs: PNG (libpng), JPEG (libjpeg-turbo), GIF (giflib), TIFF (libtiff) and BMP
// (our own), between encoded bytes and 32-bit pixels. They know nothing of the runtime: a
// decoder asks a sink for its pixel buffer once the header gave the size, an encoder writes
// into a std::vector, so fuzz targets and tests can drive them alone.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "datatypes/image_pixel.h"

namespace kaz::image_codec {

// The format the bytes' signature names, or -1.
int32_t sniff(const uint8_t* bytes, size_t size);

/*
 * Where a decoder puts its pixels. `claim` is asked once for width x height pixels (both at
 * least 1) and answers the buffer, or null to refuse; the decoder then fills every pixel. The
 * buffer must stay put while the decoder runs.
 */
struct pixel_sink {
  void* context;
  uint32_t* (*claim)(void* context, uint32_t width, uint32_t height);
};

/*
 * Declared sizes are checked before anything is allocated: a side above max_side or more
 * pixels than this limit is refused, so hostile data cannot ask for gigabytes.
 */
uint64_t pixel_limit();
void set_pixel_limit(uint64_t pixels);

// The size a decoder may claim; calls the sink when the size passes the limits, else null.
uint32_t* claim(const pixel_sink& sink, uint64_t width, uint64_t height);

// Decodes by the signature. False for unknown, malformed, truncated or oversized data (the
// sink may have been called; its buffer is then to be dropped).
bool decode(const uint8_t* bytes, size_t size, const pixel_sink& sink);
bool decode_png(const uint8_t* bytes, size_t size, const pixel_sink& sink);
bool decode_jpeg(const uint8_t* bytes, size_t size, const pixel_sink& sink);
bool decode_gif(const uint8_t* bytes, size_t size, const pixel_sink& sink);
bool decode_tiff(const uint8_t* bytes, size_t size, const pixel_sink& sink);
bool decode_bmp(const uint8_t* bytes, size_t size, const pixel_sink& sink);

// Encodes width x height pixels (both at least 1) in the format; false when the library fails.
bool encode(uint32_t format, const uint32_t* pixels, uint32_t width, uint32_t height,
            std::vector<uint8_t>& out);
bool encode_png(const uint32_t* pixels, uint32_t width, uint32_t height,
                std::vector<uint8_t>& out);
bool encode_jpeg(const uint32_t* pixels, uint32_t width, uint32_t height,
                 std::vector<uint8_t>& out);
bool encode_gif(const uint32_t* pixels, uint32_t width, uint32_t height,
                std::vector<uint8_t>& out);
bool encode_tiff(const uint32_t* pixels, uint32_t width, uint32_t height,
                 std::vector<uint8_t>& out);
bool encode_bmp(const uint32_t* pixels, uint32_t width, uint32_t height,
                std::vector<uint8_t>& out);

// Helpers the codecs share.
bool all_opaque(const uint32_t* pixels, size_t count);

}  // namespace kaz::image_codec

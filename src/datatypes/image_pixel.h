// The pixel word, the image formats' numbers and the size limit, shared by the image! datatype
// and the image codecs.
#pragma once

#include <bit>
#include <cstdint>

namespace kaz::image_codec {

static_assert(std::endian::native == std::endian::little, "pixels are stored as B, G, R, A");

/*
 * A pixel is the word 0xAARRGGBB (in memory the bytes B, G, R, A), A the opacity, 255 opaque.
 * Rows follow each other with no gap, top row first.
 */
constexpr uint32_t opaque_white = 0xFFFFFFFFu;
constexpr uint32_t max_side = 65535;

// The format numbers the codec objects pass.
enum format : uint32_t { bmp = 0, png = 1, gif = 2, jpeg = 3, tiff = 4 };
constexpr uint32_t format_count = 5;

inline uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  return a << 24 | r << 16 | g << 8 | b;
}
inline uint32_t alpha_of(uint32_t p) { return p >> 24; }

}  // namespace kaz::image_codec

// PNG through libpng's simplified interface, which keeps its error recovery to itself.
#include <png.h>

#include "platform/image_codecs.h"

namespace kaz::image_codec {

bool decode_png(const uint8_t* bytes, size_t size, const pixel_sink& sink) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes, size)) return false;
  image.format = PNG_FORMAT_BGRA;  // the bytes of our pixel words
  uint32_t* pixels = claim(sink, image.width, image.height);
  if (!pixels) {
    png_image_free(&image);
    return false;
  }
  // Frees the image's state whether it succeeds or not.
  return png_image_finish_read(&image, nullptr, pixels, 0, nullptr) != 0;
}

bool encode_png(const uint32_t* pixels, uint32_t width, uint32_t height,
                std::vector<uint8_t>& out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  size_t count = size_t(width) * height;
  // An opaque image is written without its alpha channel.
  std::vector<uint8_t> rgb;
  const void* source = pixels;
  if (all_opaque(pixels, count)) {
    image.format = PNG_FORMAT_BGR;
    rgb.resize(count * 3);
    for (size_t i = 0; i < count; ++i) {
      rgb[i * 3] = uint8_t(pixels[i]);
      rgb[i * 3 + 1] = uint8_t(pixels[i] >> 8);
      rgb[i * 3 + 2] = uint8_t(pixels[i] >> 16);
    }
    source = rgb.data();
  } else {
    image.format = PNG_FORMAT_BGRA;
  }
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, source, 0, nullptr)) return false;
  out.resize(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, source, 0, nullptr)) return false;
  out.resize(size);
  return true;
}

}  // namespace kaz::image_codec

// Format detection, the size limits and the dispatch to each codec.
#include "platform/image_codecs.h"

#include <cstring>

namespace kaz::image_codec {

namespace {

// 128 M pixels (512 MB) covers any real picture.
uint64_t limit = uint64_t(1) << 27;

bool starts(const uint8_t* bytes, size_t size, const char* sig, size_t n) {
  return size >= n && std::memcmp(bytes, sig, n) == 0;
}

}  // namespace

uint64_t pixel_limit() { return limit; }
void set_pixel_limit(uint64_t pixels) { limit = pixels; }

uint32_t* claim(const pixel_sink& sink, uint64_t width, uint64_t height) {
  if (width == 0 || height == 0 || width > max_side || height > max_side) return nullptr;
  if (width * height > limit) return nullptr;
  return sink.claim(sink.context, static_cast<uint32_t>(width), static_cast<uint32_t>(height));
}

int32_t sniff(const uint8_t* b, size_t n) {
  if (starts(b, n, "\x89PNG", 4)) return png;
  if (starts(b, n, "\xFF\xD8\xFF", 3)) return jpeg;
  if (starts(b, n, "BM", 2)) return bmp;
  if (starts(b, n, "GIF87a", 6) || starts(b, n, "GIF89a", 6)) return gif;
  if (starts(b, n, "II*\0", 4) || starts(b, n, "MM\0*", 4)) return tiff;
  return -1;
}

bool decode(const uint8_t* bytes, size_t size, const pixel_sink& sink) {
  switch (sniff(bytes, size)) {
    case png: return decode_png(bytes, size, sink);
    case jpeg: return decode_jpeg(bytes, size, sink);
    case bmp: return decode_bmp(bytes, size, sink);
    case gif: return decode_gif(bytes, size, sink);
    case tiff: return decode_tiff(bytes, size, sink);
    default: return false;
  }
}

bool encode(uint32_t f, const uint32_t* pixels, uint32_t width, uint32_t height,
            std::vector<uint8_t>& out) {
  out.clear();
  switch (f) {
    case png: return encode_png(pixels, width, height, out);
    case jpeg: return encode_jpeg(pixels, width, height, out);
    case bmp: return encode_bmp(pixels, width, height, out);
    case gif: return encode_gif(pixels, width, height, out);
    case tiff: return encode_tiff(pixels, width, height, out);
    default: return false;
  }
}

bool all_opaque(const uint32_t* pixels, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (alpha_of(pixels[i]) != 255) return false;
  return true;
}

}  // namespace kaz::image_codec

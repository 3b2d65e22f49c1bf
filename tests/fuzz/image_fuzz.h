// What the image decoder targets share: any bytes go to one decoder with a small pixel limit;
// what decodes is encoded again in the same format and decoded back. A decoder may refuse
// anything; crashes, sanitizer reports, hangs and huge allocations are what is looked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/image_codecs.h"

namespace image_fuzz {

using namespace kaz::image_codec;

struct sink_buffer {
  std::vector<uint32_t> pixels;
  uint32_t width = 0, height = 0;
};

inline pixel_sink sink_of(sink_buffer& b) {
  return pixel_sink{&b, [](void* c, uint32_t w, uint32_t h) -> uint32_t* {
                      auto* s = static_cast<sink_buffer*>(c);
                      s->width = w;
                      s->height = h;
                      s->pixels.assign(size_t(w) * h, 0);
                      return s->pixels.data();
                    }};
}

using decoder = bool (*)(const uint8_t*, size_t, const pixel_sink&);

inline int run(decoder decode_fn, uint32_t format_number, const uint8_t* data, size_t size) {
  set_pixel_limit(uint64_t(1) << 22);
  sink_buffer first;
  if (!decode_fn(data, size, sink_of(first))) return 0;
  std::vector<uint8_t> encoded;
  if (!encode(format_number, first.pixels.data(), first.width, first.height, encoded))
    __builtin_trap();  // what we decoded we must be able to write
  sink_buffer second;
  if (!decode(encoded.data(), encoded.size(), sink_of(second))) __builtin_trap();
  if (second.width != first.width || second.height != first.height) __builtin_trap();
  return 0;
}

}  // namespace image_fuzz

#include "datatypes/image_record.h"

#include <algorithm>
#include <cstring>

#include "datatypes/binary.h"
#include "datatypes/image_pixel.h"
#include "datatypes/tuple.h"

namespace kaz::image_record {

bool size_allowed(uint64_t width, uint64_t height) {
  return width <= image_codec::max_side && height <= image_codec::max_side &&
         width * height * 4 < memory::max_series_bytes - 16;
}

node_t new_record(uint32_t width, uint32_t height) {
  uint32_t count = width * height;
  node_t record = memory::alloc_units(count, 4);
  series_buffer* s = memory::buffer_of(record);
  s->tail = s->offset + count * 4;
  return record;
}

node_t make_bitmap(uint32_t width, uint32_t height, const cell* rgb_arg, const cell* alpha_arg,
                   const cell* colour_arg) {
  cell rgb = rgb_arg ? *rgb_arg : cell{type::none, 0, 0, 0};
  cell alpha = alpha_arg ? *alpha_arg : cell{type::none, 0, 0, 0};
  node_t record = new_record(width, height);
  uint32_t* p = pixels(record);
  size_t count = size_t(width) * height;
  if (colour_arg) {
    uint32_t t = tuple_type::length_of(colour_arg) > 3 ? tuple_type::byte_at(colour_arg, 3) : 0;
    uint32_t fill = image_codec::argb(255 - t, tuple_type::byte_at(colour_arg, 0),
                                      tuple_type::byte_at(colour_arg, 1),
                                      tuple_type::byte_at(colour_arg, 2));
    std::fill(p, p + count, fill);
    return record;
  }
  std::fill(p, p + count, image_codec::opaque_white);
  if (type_of(&rgb) == type::binary) {
    const uint8_t* b = binary::rs_head(&rgb);
    size_t n = std::min<size_t>(binary::rs_length(&rgb) / 3, count);
    for (size_t i = 0; i < n; ++i)
      p[i] = image_codec::argb(255, b[3 * i], b[3 * i + 1], b[3 * i + 2]);
  }
  if (type_of(&alpha) == type::binary) {
    const uint8_t* b = binary::rs_head(&alpha);
    size_t n = std::min<size_t>(binary::rs_length(&alpha), count);
    for (size_t i = 0; i < n; ++i) p[i] = (p[i] & 0xFFFFFF) | uint32_t(255 - b[i]) << 24;
  }
  return record;
}

node_t resize(node_t source, uint32_t width, uint32_t height, uint32_t to_width,
              uint32_t to_height) {
  node_t record = new_record(to_width, to_height);
  if (width == 0 || height == 0) {
    std::fill(pixels(record), pixels(record) + size_t(to_width) * to_height, 0u);
    return record;
  }
  const uint32_t* from = pixels(source);
  uint32_t* to = pixels(record);
  for (uint32_t y = 0; y < to_height; ++y) {
    uint64_t sy = (uint64_t(2 * y + 1) * height) / (2 * uint64_t(to_height));
    for (uint32_t x = 0; x < to_width; ++x) {
      uint64_t sx = (uint64_t(2 * x + 1) * width) / (2 * uint64_t(to_width));
      to[size_t(y) * to_width + x] = from[sy * width + sx];
    }
  }
  return record;
}

node_t copy_part(node_t source, uint32_t source_width, uint32_t x, uint32_t y, uint32_t width,
                 uint32_t height) {
  node_t record = new_record(width, height);
  const uint32_t* from = pixels(source);
  uint32_t* to = pixels(record);
  for (uint32_t row = 0; row < height; ++row)
    std::memcpy(to + size_t(row) * width, from + size_t(y + row) * source_width + x,
                size_t(width) * 4);
  return record;
}

}  // namespace kaz::image_record

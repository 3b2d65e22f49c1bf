// BMP, our own: reads the core, info and V2-V5 headers at 1, 4, 8, 16, 24 and 32 bits per
// pixel (uncompressed, with bit-field masks, or run-length encoded at 4 and 8 bits); writes
// 32-bit pixels with alpha under a V5 header.
#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/image_codecs.h"

namespace kaz::image_codec {

namespace {

constexpr uint32_t file_header = 14;
constexpr uint32_t bi_rgb = 0, bi_rle8 = 1, bi_rle4 = 2, bi_bitfields = 3, bi_alphabitfields = 6;

uint32_t u16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t u32(const uint8_t* p) { return u16(p) | u16(p + 2) << 16; }

// One channel of a bit-field mask, scaled to 8 bits.
struct channel {
  uint32_t mask = 0, shift = 0, max = 0;
  explicit channel(uint32_t m = 0) : mask(m) {
    if (!m) return;
    shift = static_cast<uint32_t>(std::countr_zero(m));
    max = (m >> shift);
    if (max > 0xFFFFu) max = 0xFFFFu;  // wider fields keep their high 16 bits
  }
  uint32_t of(uint32_t word) const {
    if (!mask) return 0;
    uint64_t v = (word & mask) >> shift;
    if (v > max) v = max;
    return static_cast<uint32_t>((v * 255 + max / 2) / max);
  }
};

struct layout {
  int64_t width = 0, height = 0;
  uint32_t bits = 0, compression = bi_rgb;
  uint32_t masks[4] = {0, 0, 0, 0};  // R, G, B, A
  bool masks_given = false;
  uint32_t palette_at = 0, palette_entry = 4, palette_count = 0;
  uint32_t data_at = 0;
};

bool read_layout(const uint8_t* b, size_t size, layout& l) {
  if (size < file_header + 12) return false;
  l.data_at = u32(b + 10);
  uint32_t header = u32(b + 14);
  if (header < 12 || file_header + uint64_t(header) > size) return false;
  if (header == 12) {  // the core header: 16-bit sizes, 3-byte palette entries
    l.width = u16(b + 18);
    l.height = u16(b + 20);
    l.bits = u16(b + 24);
    l.palette_entry = 3;
  } else {
    if (header < 40) return false;
    l.width = static_cast<int32_t>(u32(b + 18));
    l.height = static_cast<int32_t>(u32(b + 22));
    l.bits = u16(b + 28);
    l.compression = u32(b + 30);
    l.palette_count = u32(b + 46);
    uint32_t mask_bytes = 0;
    if (header >= 52) {
      mask_bytes = header >= 56 ? 16 : 12;
    } else if (l.compression == bi_bitfields || l.compression == bi_alphabitfields) {
      mask_bytes = l.compression == bi_alphabitfields ? 16 : 12;  // masks follow the header
      header += mask_bytes;
      if (file_header + uint64_t(header) > size) return false;
    }
    for (uint32_t i = 0; i < mask_bytes / 4; ++i) l.masks[i] = u32(b + 54 + 4 * i);
    l.masks_given = l.compression == bi_bitfields || l.compression == bi_alphabitfields;
  }
  l.palette_at = file_header + header;
  if (l.bits <= 8) {
    uint32_t full = 1u << l.bits;
    if (l.palette_count == 0 || l.palette_count > full) l.palette_count = full;
  }
  return true;
}

/*
 * One row of the file into pixels. Palette indexes outside the palette read as black; 32-bit
 * pixels without an alpha mask keep their fourth byte only when some pixel sets it (writers
 * leave it 0 to mean nothing).
 */
struct row_reader {
  const layout& l;
  const uint8_t* palette;
  uint32_t palette_count;
  channel r, g, b, a;
  bool alpha_byte;

  uint32_t colour(uint32_t i) const {
    if (i >= palette_count) return argb(255, 0, 0, 0);
    const uint8_t* e = palette + size_t(i) * l.palette_entry;
    return argb(255, e[2], e[1], e[0]);
  }

  void read(const uint8_t* from, uint32_t* to, uint32_t width) const {
    switch (l.bits) {
      case 1: case 2: case 4: case 8: {
        uint32_t per_byte = 8 / l.bits, mask = (1u << l.bits) - 1;
        for (uint32_t x = 0; x < width; ++x) {
          uint32_t shift = 8 - l.bits * (x % per_byte + 1);
          to[x] = colour((from[x / per_byte] >> shift) & mask);
        }
        break;
      }
      case 16:
        for (uint32_t x = 0; x < width; ++x) {
          uint32_t w = u16(from + 2 * x);
          to[x] = argb(a.mask ? a.of(w) : 255, r.of(w), g.of(w), b.of(w));
        }
        break;
      case 24:
        for (uint32_t x = 0; x < width; ++x) {
          const uint8_t* p = from + 3 * x;
          to[x] = argb(255, p[2], p[1], p[0]);
        }
        break;
      case 32:
        for (uint32_t x = 0; x < width; ++x) {
          uint32_t w = u32(from + 4 * x);
          if (l.masks_given)
            to[x] = argb(a.mask ? a.of(w) : 255, r.of(w), g.of(w), b.of(w));
          else
            to[x] = alpha_byte ? w : (w | 0xFF000000u);
        }
        break;
    }
  }
};

/*
 * Run-length data, bottom row first: a count and an index (a run; at 4 bits the two nibbles
 * alternate), or 0 and an escape: 0 ends the row, 1 the bitmap, 2 moves right and up by the
 * next two bytes, n > 2 gives n literal indexes padded to an even byte count. Pixels the data
 * skips stay transparent; indexes past the right edge are dropped. Data that ends before the
 * end of the bitmap is truncated.
 */
bool read_runs(const uint8_t* p, const uint8_t* end, const row_reader& reader, bool four,
               uint32_t* pixels, uint64_t width, uint64_t height) {
  uint64_t x = 0, y = 0;
  auto put = [&](uint32_t index) {
    if (x < width && y < height) pixels[(height - 1 - y) * width + x] = reader.colour(index);
    ++x;
  };
  while (y < height) {
    if (end - p < 2) return false;
    uint32_t count = p[0], value = p[1];
    p += 2;
    if (count > 0) {
      for (uint32_t i = 0; i < count; ++i)
        put(four ? (i % 2 ? value & 15 : value >> 4) : value);
    } else if (value == 0) {
      x = 0;
      ++y;
    } else if (value == 1) {
      return true;
    } else if (value == 2) {
      if (end - p < 2) return false;
      x += p[0];
      y += p[1];
      p += 2;
    } else {
      uint32_t bytes = four ? (value + 1) / 2 : value;
      uint32_t padded = (bytes + 1) & ~1u;
      if (uint64_t(end - p) < bytes) return false;
      for (uint32_t i = 0; i < value; ++i)
        put(four ? (i % 2 ? p[i / 2] & 15 : p[i / 2] >> 4) : p[i]);
      p += std::min<uint64_t>(padded, uint64_t(end - p));
    }
  }
  return true;
}

}  // namespace

bool decode_bmp(const uint8_t* b, size_t size, const pixel_sink& sink) {
  layout l;
  if (!read_layout(b, size, l)) return false;
  bool bits_ok = l.bits == 1 || l.bits == 2 || l.bits == 4 || l.bits == 8 || l.bits == 16 ||
                 l.bits == 24 || l.bits == 32;
  bool runs =
      (l.compression == bi_rle8 && l.bits == 8) || (l.compression == bi_rle4 && l.bits == 4);
  bool compression_ok = l.compression == bi_rgb || runs ||
                        ((l.compression == bi_bitfields || l.compression == bi_alphabitfields) &&
                         (l.bits == 16 || l.bits == 32));
  if (!bits_ok || !compression_ok || l.width <= 0 || l.height == 0) return false;
  bool top_down = l.height < 0;
  if (runs && top_down) return false;  // run-length bitmaps are bottom-up by definition
  uint64_t width = uint64_t(l.width), height = uint64_t(top_down ? -l.height : l.height);
  if (width > max_side || height > max_side) return false;
  uint64_t stride = (width * l.bits + 31) / 32 * 4;
  if (l.data_at > size) return false;
  if (!runs && uint64_t(l.data_at) + stride * height > size) return false;  // truncated
  if (l.bits <= 8) {  // a short palette: the entries it lacks read as black
    uint64_t end = std::min<uint64_t>(l.data_at, size);
    uint64_t room = end > l.palette_at ? (end - l.palette_at) / l.palette_entry : 0;
    l.palette_count = static_cast<uint32_t>(std::min<uint64_t>(l.palette_count, room));
  }
  if (l.bits == 16 && !l.masks_given) {  // 5-5-5, opaque: a V4/V5 header's masks do not apply
    l.masks[0] = 0x7C00;
    l.masks[1] = 0x03E0;
    l.masks[2] = 0x001F;
    l.masks[3] = 0;
  }
  const uint8_t* data = b + l.data_at;
  bool alpha_byte = false;
  if (l.bits == 32 && !l.masks_given)
    for (uint64_t y = 0; y < height && !alpha_byte; ++y)
      for (uint64_t x = 0; x < width; ++x)
        if (data[y * stride + x * 4 + 3]) {
          alpha_byte = true;
          break;
        }
  uint32_t* pixels = claim(sink, width, height);
  if (!pixels) return false;
  row_reader reader{l,          b + l.palette_at,    l.palette_count,
                    channel(l.masks[0]), channel(l.masks[1]), channel(l.masks[2]),
                    channel(l.masks[3]), alpha_byte};
  if (runs) {
    std::fill(pixels, pixels + width * height, 0u);
    return read_runs(data, b + size, reader, l.bits == 4, pixels, width, height);
  }
  for (uint64_t y = 0; y < height; ++y) {
    uint64_t file_row = top_down ? y : height - 1 - y;
    reader.read(data + file_row * stride, pixels + y * width, static_cast<uint32_t>(width));
  }
  return true;
}

namespace {

void put16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  out[at] = uint8_t(v);
  out[at + 1] = uint8_t(v >> 8);
}
void put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  put16(out, at, v & 0xFFFF);
  put16(out, at + 2, v >> 16);
}

}  // namespace

bool encode_bmp(const uint32_t* pixels, uint32_t width, uint32_t height,
                std::vector<uint8_t>& out) {
  constexpr uint32_t v5_header = 124;
  constexpr uint32_t data_at = file_header + v5_header;
  uint64_t bytes = uint64_t(width) * height * 4;
  if (data_at + bytes > UINT32_MAX) return false;
  out.assign(data_at + bytes, 0);
  out[0] = 'B';
  out[1] = 'M';
  put32(out, 2, static_cast<uint32_t>(data_at + bytes));
  put32(out, 10, data_at);
  put32(out, 14, v5_header);
  put32(out, 18, width);
  put32(out, 22, height);  // positive: bottom row first, as every reader expects
  put16(out, 26, 1);
  put16(out, 28, 32);
  put32(out, 30, bi_bitfields);
  put32(out, 34, static_cast<uint32_t>(bytes));
  put32(out, 38, 2835);  // 72 dpi
  put32(out, 42, 2835);
  put32(out, 54, 0x00FF0000);
  put32(out, 58, 0x0000FF00);
  put32(out, 62, 0x000000FF);
  put32(out, 66, 0xFF000000);
  put32(out, 70, 0x73524742);  // 'sRGB'
  put32(out, 122, 4);          // intent: images
  for (uint32_t y = 0; y < height; ++y)
    std::memcpy(out.data() + data_at + size_t(height - 1 - y) * width * 4,
                pixels + size_t(y) * width, size_t(width) * 4);
  return true;
}

}  // namespace kaz::image_codec

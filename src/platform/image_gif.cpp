// GIF through giflib: the first frame on its logical screen; writing picks a palette.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/image_codecs.h"

namespace kaz::image_codec {

namespace {

struct reader {
  const uint8_t* bytes;
  size_t size;
  size_t at;
};

int read_bytes(GifFileType* gif, GifByteType* into, int n) {
  auto* r = static_cast<reader*>(gif->UserData);
  size_t take = std::min<size_t>(size_t(std::max(n, 0)), r->size - r->at);
  std::memcpy(into, r->bytes + r->at, take);
  r->at += take;
  return static_cast<int>(take);
}

int write_bytes(GifFileType* gif, const GifByteType* from, int n) {
  auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
  out->insert(out->end(), from, from + n);
  return n;
}

/*
 * The frame is drawn on a canvas the size of the logical screen (widened when the frame
 * reaches past it); what the frame does not cover is transparent. Interlaced rows come in
 * four passes.
 */
bool read_frame(GifFileType* gif, int transparent, const pixel_sink& sink) {
  const GifImageDesc& d = gif->Image;
  const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
  if (!map || d.Width <= 0 || d.Height <= 0 || d.Left < 0 || d.Top < 0) return false;
  uint64_t width =
      std::max<uint64_t>(gif->SWidth > 0 ? gif->SWidth : 0, uint64_t(d.Left) + d.Width);
  uint64_t height =
      std::max<uint64_t>(gif->SHeight > 0 ? gif->SHeight : 0, uint64_t(d.Top) + d.Height);
  uint32_t* pixels = claim(sink, width, height);
  if (!pixels) return false;
  std::fill(pixels, pixels + width * height, 0u);
  std::vector<GifPixelType> line(size_t(d.Width));
  static const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
  int passes = d.Interlace ? 4 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    int step = d.Interlace ? steps[pass] : 1;
    for (int y = d.Interlace ? starts[pass] : 0; y < d.Height; y += step) {
      if (DGifGetLine(gif, line.data(), d.Width) == GIF_ERROR) return false;
      uint32_t* row = pixels + (uint64_t(d.Top) + y) * width + d.Left;
      for (int x = 0; x < d.Width; ++x) {
        int i = line[size_t(x)];
        GifColorType c = i < map->ColorCount ? map->Colors[i] : GifColorType{0, 0, 0};
        row[x] = argb(i == transparent ? 0 : 255, c.Red, c.Green, c.Blue);
      }
    }
  }
  return true;
}

bool read_first_frame(GifFileType* gif, const pixel_sink& sink) {
  int transparent = -1;
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) return false;
    if (type == IMAGE_DESC_RECORD_TYPE) {
      if (DGifGetImageDesc(gif) == GIF_ERROR) return false;
      return read_frame(gif, transparent, sink);
    }
    if (type != EXTENSION_RECORD_TYPE) return false;  // the end, before any image
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
    if (code == GRAPHICS_EXT_FUNC_CODE && block) {
      GraphicsControlBlock gcb;
      if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK)
        transparent = gcb.TransparentColor;
    }
    while (block)
      if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
  }
}

int bits_for(int colours) {
  int bits = 1;
  while ((1 << bits) < colours) ++bits;
  return bits;
}

/*
 * Indexes for every pixel: an exact palette when the opaque colours fit, else a median-cut
 * palette from giflib. A pixel below half opacity takes the transparent entry, the last one,
 * which carries the colour of the first such pixel.
 */
bool index_pixels(const uint32_t* pixels, size_t count, std::vector<GifColorType>& palette,
                  std::vector<GifByteType>& indexes, int& transparent) {
  transparent = -1;
  uint32_t clear_colour = 0;
  for (size_t i = 0; i < count; ++i)
    if (alpha_of(pixels[i]) < 128) {
      clear_colour = pixels[i] & 0xFFFFFF;
      transparent = 0;
      break;
    }
  size_t room = transparent < 0 ? 256 : 255;
  indexes.resize(count);
  std::unordered_map<uint32_t, uint8_t> seen;
  bool exact = true;
  for (size_t i = 0; i < count && exact; ++i) {
    if (alpha_of(pixels[i]) < 128) continue;
    uint32_t rgb = pixels[i] & 0xFFFFFF;
    auto it = seen.find(rgb);
    if (it != seen.end()) {
      indexes[i] = it->second;
    } else if (palette.size() < room) {
      indexes[i] = static_cast<uint8_t>(palette.size());
      seen.emplace(rgb, indexes[i]);
      palette.push_back(GifColorType{uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)});
    } else {
      exact = false;
    }
  }
  if (!exact) {
    std::vector<GifByteType> r(count), g(count), b(count);
    for (size_t i = 0; i < count; ++i) {
      r[i] = uint8_t(pixels[i] >> 16);
      g[i] = uint8_t(pixels[i] >> 8);
      b[i] = uint8_t(pixels[i]);
    }
    int size = static_cast<int>(room);
    palette.assign(256, GifColorType{0, 0, 0});
    if (count > UINT32_MAX ||
        GifQuantizeBuffer(static_cast<unsigned>(count), 1, &size, r.data(), g.data(), b.data(),
                          indexes.data(), palette.data()) == GIF_ERROR)
      return false;
    palette.resize(size_t(std::clamp(size, 1, int(room))));
    for (GifByteType& i : indexes) i = std::min<GifByteType>(i, GifByteType(palette.size() - 1));
  }
  if (transparent >= 0) {
    transparent = static_cast<int>(palette.size());
    palette.push_back(GifColorType{uint8_t(clear_colour >> 16), uint8_t(clear_colour >> 8),
                                   uint8_t(clear_colour)});
    for (size_t i = 0; i < count; ++i)
      if (alpha_of(pixels[i]) < 128) indexes[i] = static_cast<GifByteType>(transparent);
  }
  if (palette.empty()) palette.push_back(GifColorType{0, 0, 0});
  return true;
}

bool write_gif(GifFileType* gif, const uint32_t* pixels, uint32_t width, uint32_t height) {
  std::vector<GifColorType> palette;
  std::vector<GifByteType> indexes;
  int transparent;
  if (!index_pixels(pixels, size_t(width) * height, palette, indexes, transparent)) return false;
  int bits = bits_for(static_cast<int>(palette.size()));
  ColorMapObject* map = GifMakeMapObject(1 << bits, nullptr);
  if (!map) return false;
  std::copy(palette.begin(), palette.end(), map->Colors);
  EGifSetGifVersion(gif, transparent >= 0);
  bool ok = EGifPutScreenDesc(gif, int(width), int(height), bits, 0, map) == GIF_OK;
  GifFreeMapObject(map);
  if (ok && transparent >= 0) {
    GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, transparent};
    GifByteType ext[4];
    size_t n = EGifGCBToExtension(&gcb, ext);
    ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(n), ext) == GIF_OK;
  }
  ok = ok && EGifPutImageDesc(gif, 0, 0, int(width), int(height), false, nullptr) == GIF_OK;
  for (uint32_t y = 0; ok && y < height; ++y)
    ok = EGifPutLine(gif, indexes.data() + size_t(y) * width, int(width)) == GIF_OK;
  return ok;
}

}  // namespace

bool decode_gif(const uint8_t* bytes, size_t size, const pixel_sink& sink) {
  reader r{bytes, size, 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&r, read_bytes, &error);
  if (!gif) return false;
  bool ok = read_first_frame(gif, sink);
  DGifCloseFile(gif, &error);
  return ok;
}

bool encode_gif(const uint32_t* pixels, uint32_t width, uint32_t height,
                std::vector<uint8_t>& out) {
  int error = 0;
  GifFileType* gif = EGifOpen(&out, write_bytes, &error);
  if (!gif) return false;
  bool ok = write_gif(gif, pixels, width, height);
  return EGifCloseFile(gif, &error) == GIF_OK && ok;
}

}  // namespace kaz::image_codec

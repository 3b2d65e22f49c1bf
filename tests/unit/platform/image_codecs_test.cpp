// The image codecs against files written by the libraries themselves (or built byte by byte
// for BMP), round trips through our encoders, and malformed or hostile data.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include "platform/image_codecs.h"

namespace kaz::image_codec {
namespace {

using bytes = std::vector<uint8_t>;
using pixels = std::vector<uint32_t>;

// A sink over a std::vector that records whether it was asked.
struct vector_sink {
  pixels px;
  uint32_t width = 0, height = 0;
  int claims = 0;
  pixel_sink sink() {
    return pixel_sink{this, [](void* c, uint32_t w, uint32_t h) -> uint32_t* {
                        auto* s = static_cast<vector_sink*>(c);
                        ++s->claims;
                        s->width = w;
                        s->height = h;
                        s->px.assign(size_t(w) * h, 0xDEADBEEF);
                        return s->px.data();
                      }};
  }
};

bool decoded(const bytes& data, vector_sink& out) {
  return decode(data.data(), data.size(), out.sink());
}

// ---------------------------------------------------------------------------------------------
// Writers through the libraries' own interfaces.

bytes png_through_libpng(uint32_t w, uint32_t h, int colour_type, int depth,
                         const std::vector<bytes>& rows, const std::vector<png_color>& palette = {},
                         const bytes& trns = {}, bool interlace = false) {
  bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t n) {
        auto* o = static_cast<bytes*>(png_get_io_ptr(p));
        o->insert(o->end(), data, data + n);
      },
      [](png_structp) {});
  png_set_IHDR(png, info, w, h, depth, colour_type,
               interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty())
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  if (!trns.empty())
    png_set_tRNS(png, info, trns.data(), static_cast<int>(trns.size()), nullptr);
  png_write_info(png, info);
  std::vector<png_bytep> pointers;
  for (const bytes& r : rows) pointers.push_back(const_cast<png_bytep>(r.data()));
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

bytes jpeg_through_libjpeg(uint32_t w, uint32_t h, const bytes& rgb, bool progressive) {
  jpeg_compress_struct info;
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_compress(&info);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &mem, &size);
  info.image_width = w;
  info.image_height = h;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 100, TRUE);
  if (progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < h) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + size_t(info.next_scanline) * w * 3);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  bytes out(mem, mem + size);
  std::free(mem);
  return out;
}

bytes gif_through_giflib(int sw, int sh, int left, int top, int w, int h, bool interlace,
                         const std::vector<GifColorType>& colours, int transparent,
                         const bytes& indexes) {
  bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out,
                              [](GifFileType* g, const GifByteType* d, int n) {
                                auto* o = static_cast<bytes*>(g->UserData);
                                o->insert(o->end(), d, d + n);
                                return n;
                              },
                              &error);
  ColorMapObject* map = GifMakeMapObject(static_cast<int>(colours.size()), colours.data());
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, sw, sh, 8, 0, map);
  if (transparent >= 0) {
    GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, transparent};
    GifByteType ext[4];
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(EGifGCBToExtension(&gcb, ext)), ext);
  }
  EGifPutImageDesc(gif, left, top, w, h, interlace, nullptr);
  // Interlaced rows go in pass order.
  std::vector<int> order;
  if (interlace) {
    for (int y = 0; y < h; y += 8) order.push_back(y);
    for (int y = 4; y < h; y += 8) order.push_back(y);
    for (int y = 2; y < h; y += 4) order.push_back(y);
    for (int y = 1; y < h; y += 2) order.push_back(y);
  } else {
    for (int y = 0; y < h; ++y) order.push_back(y);
  }
  for (int y : order) EGifPutLine(gif, const_cast<GifByteType*>(indexes.data() + y * w), w);
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

// libtiff writes to a temporary file here, as a user of the library would.
bytes tiff_through_libtiff(uint32_t w, uint32_t h, uint16_t photometric, uint16_t samples,
                           const bytes& data, const uint16_t* colour_map = nullptr,
                           uint16_t extra = 0, uint16_t bits = 8) {
  char name[] = "/tmp/kaz-tiff-XXXXXX";
  int fd = mkstemp(name);
  close(fd);
  TIFF* tif = TIFFOpen(name, "w");
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
  if (extra) TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
  if (colour_map) {
    uint32_t n = 1u << bits;
    TIFFSetField(tif, TIFFTAG_COLORMAP, colour_map, colour_map + n, colour_map + 2 * n);
  }
  size_t row = data.size() / h;
  for (uint32_t y = 0; y < h; ++y)
    TIFFWriteScanline(tif, const_cast<uint8_t*>(data.data() + y * row), y, 0);
  TIFFClose(tif);
  bytes out;
  FILE* f = std::fopen(name, "rb");
  int c;
  while ((c = std::fgetc(f)) != EOF) out.push_back(uint8_t(c));
  std::fclose(f);
  std::remove(name);
  return out;
}

// A BMP file header and info header (40 bytes) before the given palette and pixel rows.
bytes bmp_file(int32_t w, int32_t h, uint16_t bits, uint32_t compression, const bytes& extra,
               const bytes& data, uint32_t header = 40) {
  bytes out(14 + header);
  auto put = [&](size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) out[at + i] = uint8_t(v >> (8 * i));
  };
  out[0] = 'B';
  out[1] = 'M';
  put(14, header, 4);
  if (header == 12) {
    put(18, uint32_t(w), 2);
    put(20, uint32_t(h), 2);
    put(22, 1, 2);
    put(24, bits, 2);
  } else {
    put(18, uint32_t(w), 4);
    put(22, uint32_t(h), 4);
    put(26, 1, 2);
    put(28, bits, 2);
    put(30, compression, 4);
  }
  out.insert(out.end(), extra.begin(), extra.end());
  put(10, uint32_t(out.size()), 4);
  out.insert(out.end(), data.begin(), data.end());
  put(2, uint32_t(out.size()), 4);
  return out;
}

// ---------------------------------------------------------------------------------------------
// Decoding what the libraries wrote.

TEST(ImageCodecs, PngFromLibpng) {
  struct png_case {
    const char* what;
    bytes data;
    pixels expected;
  };
  png_case cases[] = {
      {"rgba",
       png_through_libpng(2, 2, PNG_COLOR_TYPE_RGB_ALPHA, 8,
                          {{255, 0, 0, 255, 0, 255, 0, 128}, {0, 0, 255, 0, 10, 20, 30, 255}}),
       {0xFFFF0000, 0x8000FF00, 0x000000FF, 0xFF0A141E}},
      {"palette with transparency",
       png_through_libpng(3, 1, PNG_COLOR_TYPE_PALETTE, 8, {{0, 1, 2}},
                          {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, {0, 255}),
       {0x00010203, 0xFF040506, 0xFF070809}},
      {"grey 2-bit, interlaced",
       png_through_libpng(4, 1, PNG_COLOR_TYPE_GRAY, 2, {{0x1B}}, {}, {}, true),
       {0xFF000000, 0xFF555555, 0xFFAAAAAA, 0xFFFFFFFF}},
  };
  for (const png_case& c : cases) {
    vector_sink out;
    ASSERT_TRUE(decoded(c.data, out)) << c.what;
    EXPECT_EQ(out.px, c.expected) << c.what;
  }
}

TEST(ImageCodecs, JpegFromLibjpeg) {
  for (bool progressive : {false, true}) {
    bytes rgb;
    for (int i = 0; i < 16 * 8; ++i) rgb.insert(rgb.end(), {200, 100, 50});
    vector_sink out;
    ASSERT_TRUE(decoded(jpeg_through_libjpeg(16, 8, rgb, progressive), out));
    ASSERT_EQ(out.width, 16u);
    ASSERT_EQ(out.height, 8u);
    for (uint32_t p : out.px) {
      EXPECT_EQ(p >> 24, 255u);
      EXPECT_NEAR(int((p >> 16) & 255), 200, 3);
      EXPECT_NEAR(int((p >> 8) & 255), 100, 3);
      EXPECT_NEAR(int(p & 255), 50, 3);
    }
  }
}

TEST(ImageCodecs, GifFromGiflib) {
  std::vector<GifColorType> colours = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {9, 9, 9}};
  // Index 3 is transparent: alpha 0 with its palette colour.
  vector_sink out;
  ASSERT_TRUE(decoded(gif_through_giflib(3, 2, 0, 0, 3, 2, false, colours, 3,
                                         {1, 2, 3, 0, 1, 2}),
                      out));
  EXPECT_EQ(out.px, (pixels{0xFFFF0000, 0xFF00FF00, 0x00090909, 0xFF000000, 0xFFFF0000,
                            0xFF00FF00}));
  // Interlaced rows land in their rows; a frame smaller than the screen leaves the rest clear.
  bytes column;
  for (int y = 0; y < 9; ++y) column.push_back(uint8_t(y % 3));
  vector_sink tall;
  ASSERT_TRUE(decoded(gif_through_giflib(2, 9, 1, 0, 1, 9, true, colours, -1, column), tall));
  ASSERT_EQ(tall.width, 2u);
  for (uint32_t y = 0; y < 9; ++y) {
    GifColorType c = colours[y % 3];
    EXPECT_EQ(tall.px[y * 2], 0u);
    EXPECT_EQ(tall.px[y * 2 + 1], argb(255, c.Red, c.Green, c.Blue)) << "row " << y;
  }
}

TEST(ImageCodecs, TiffFromLibtiff) {
  vector_sink rgb;
  ASSERT_TRUE(decoded(tiff_through_libtiff(2, 1, PHOTOMETRIC_RGB, 3, {1, 2, 3, 4, 5, 6}), rgb));
  EXPECT_EQ(rgb.px, (pixels{0xFF010203, 0xFF040506}));

  vector_sink rgba;
  ASSERT_TRUE(decoded(tiff_through_libtiff(2, 1, PHOTOMETRIC_RGB, 4, {1, 2, 3, 40, 5, 6, 7, 255},
                                           nullptr, EXTRASAMPLE_UNASSALPHA),
                      rgba));
  EXPECT_EQ(rgba.px, (pixels{0x28010203, 0xFF050607}));

  // A palette image goes through libtiff's RGBA reader.
  uint16_t map[3 * 256] = {};
  map[1] = 0xFFFF;            // red of entry 1
  map[256 + 2] = 0xFFFF;      // green of entry 2
  vector_sink palette;
  ASSERT_TRUE(decoded(tiff_through_libtiff(3, 1, PHOTOMETRIC_PALETTE, 1, {0, 1, 2}, map),
                      palette));
  EXPECT_EQ(palette.px, (pixels{0xFF000000, 0xFFFF0000, 0xFF00FF00}));

  vector_sink grey;
  ASSERT_TRUE(decoded(tiff_through_libtiff(2, 1, PHOTOMETRIC_MINISBLACK, 1, {0, 200}), grey));
  EXPECT_EQ(grey.px, (pixels{0xFF000000, 0xFFC8C8C8}));
}

TEST(ImageCodecs, BmpLayouts) {
  struct bmp_case {
    const char* what;
    bytes data;
    pixels expected;
  };
  bmp_case cases[] = {
      // 24 bits, bottom row first, rows padded to 4 bytes.
      {"24-bit", bmp_file(2, 2, 24, 0, {}, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}),
       {0xFF090807, 0xFF0C0B0A, 0xFF030201, 0xFF060504}},
      {"8-bit palette, top-down",
       bmp_file(3, -1, 8, 0, {10, 20, 30, 0, 40, 50, 60, 0}, {1, 0, 5, 0}),
       {0xFF3C3228, 0xFF1E140A, 0xFF000000}},
      {"1-bit", bmp_file(3, 1, 1, 0, {0, 0, 0, 0, 255, 255, 255, 0}, {0xA0, 0, 0, 0}),
       {0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}},
      {"4-bit", bmp_file(2, 1, 4, 0, {1, 1, 1, 0, 2, 2, 2, 0}, {0x10, 0, 0, 0}),
       {0xFF020202, 0xFF010101}},
      {"16-bit 5-5-5", bmp_file(1, 1, 16, 0, {}, {0x1F, 0x7C, 0, 0}), {0xFFFF00FF}},
      {"16-bit 5-6-5 bit fields",
       bmp_file(1, 1, 16, 3, {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0}, {0xE0, 0x07, 0, 0}),
       {0xFF00FF00}},
      {"32-bit, fourth byte unused", bmp_file(1, 1, 32, 0, {}, {1, 2, 3, 0}), {0xFF030201}},
      {"32-bit with alpha bytes", bmp_file(1, 1, 32, 0, {}, {1, 2, 3, 4}), {0x04030201}},
      {"core header", bmp_file(1, 1, 24, 0, {}, {1, 2, 3, 0}, 12), {0xFF030201}},
      // Runs, bottom row first: a run of 2, end of row; a literal of 3, a run past the right
      // edge, end of bitmap.
      {"8-bit runs", bmp_file(3, 2, 8, 1, {1, 1, 1, 0, 2, 2, 2, 0},
                              {2, 1, 0, 0, 0, 3, 0, 1, 1, 0, 5, 0, 0, 1}),
       {0xFF010101, 0xFF020202, 0xFF020202, 0xFF020202, 0xFF020202, 0x00000000}},
      {"4-bit runs with a delta", bmp_file(4, 2, 4, 2, {1, 1, 1, 0, 2, 2, 2, 0},
                                           {0, 2, 1, 1, 3, 0x01, 0, 1}),
       {0x00000000, 0xFF010101, 0xFF020202, 0xFF010101, 0, 0, 0, 0}},
  };
  for (const bmp_case& c : cases) {
    vector_sink out;
    ASSERT_TRUE(decoded(c.data, out)) << c.what;
    EXPECT_EQ(out.px, c.expected) << c.what;
  }
}

// ---------------------------------------------------------------------------------------------
// Round trips through our encoders.

pixels test_pattern(uint32_t w, uint32_t h, bool alpha) {
  pixels px;
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      px.push_back(argb(alpha ? (x * 37 + y * 11) & 255 : 255, (x * 8) & 255, (y * 8) & 255,
                        ((x + y) * 4) & 255));
  return px;
}

TEST(ImageCodecs, RoundTrips) {
  for (bool alpha : {false, true}) {
    pixels px = test_pattern(30, 17, alpha);
    for (uint32_t f : {bmp, png, tiff}) {
      bytes data;
      ASSERT_TRUE(encode(f, px.data(), 30, 17, data)) << f;
      EXPECT_EQ(sniff(data.data(), data.size()), int32_t(f));
      vector_sink out;
      ASSERT_TRUE(decoded(data, out)) << f;
      EXPECT_EQ(out.px, px) << "format " << f << " alpha " << alpha;
    }
  }
  // GIF: exact for up to 256 colours, the transparent pixels taking one entry.
  pixels few;
  for (uint32_t i = 0; i < 200; ++i)
    few.push_back(i < 10 ? 0x00112233 : argb(255, i, 255 - i, i / 2));
  bytes gif_data;
  ASSERT_TRUE(encode(gif, few.data(), 20, 10, gif_data));
  vector_sink gif_out;
  ASSERT_TRUE(decoded(gif_data, gif_out));
  EXPECT_EQ(gif_out.px, few);
  // Many colours are quantised: the picture stays close.
  pixels many = test_pattern(40, 40, false);
  ASSERT_TRUE(encode(gif, many.data(), 40, 40, gif_data));
  ASSERT_TRUE(decoded(gif_data, gif_out));
  double error = 0;
  for (size_t i = 0; i < many.size(); ++i)
    for (int shift : {0, 8, 16})
      error += std::abs(int((gif_out.px[i] >> shift) & 255) - int((many[i] >> shift) & 255));
  EXPECT_LT(error / (many.size() * 3), 12.0);
  // JPEG: within a small error on a smooth picture.
  bytes jpeg_data;
  pixels smooth = test_pattern(32, 32, false);
  ASSERT_TRUE(encode(jpeg, smooth.data(), 32, 32, jpeg_data));
  vector_sink jpeg_out;
  ASSERT_TRUE(decoded(jpeg_data, jpeg_out));
  for (size_t i = 0; i < smooth.size(); ++i)
    for (int shift : {0, 8, 16})
      EXPECT_NEAR(int((jpeg_out.px[i] >> shift) & 255), int((smooth[i] >> shift) & 255), 8);
}

// ---------------------------------------------------------------------------------------------
// Malformed and hostile data: refused, and a huge declared size before anything is claimed.

TEST(ImageCodecs, TruncatedDataIsRefused) {
  pixels px = test_pattern(64, 64, true);
  for (uint32_t f : {bmp, png, gif, jpeg, tiff}) {
    bytes data;
    ASSERT_TRUE(encode(f, px.data(), 64, 64, data));
    for (size_t keep : {data.size() / 2, data.size() * 3 / 4, size_t(8)}) {
      bytes cut(data.begin(), data.begin() + long(keep));
      vector_sink out;
      EXPECT_FALSE(decoded(cut, out)) << "format " << f << " cut to " << keep;
    }
  }
}

TEST(ImageCodecs, CorruptPngChunkIsRefused) {
  pixels px = test_pattern(8, 8, false);
  bytes data;
  ASSERT_TRUE(encode(png, px.data(), 8, 8, data));
  data[20] ^= 0x40;  // inside IHDR: its CRC no longer matches
  vector_sink out;
  EXPECT_FALSE(decoded(data, out));
  EXPECT_EQ(out.claims, 0);
}

TEST(ImageCodecs, HugeDeclaredSizesAreRefusedBeforeClaiming) {
  std::vector<GifColorType> colours = {{0, 0, 0}, {1, 1, 1}};
  bytes huge_bmp = bmp_file(60000, 60000, 24, 0, {}, {1, 2, 3, 0});
  bytes wide_bmp = bmp_file(70000, 1, 24, 0, {}, bytes(70000 * 3 + 4));
  bytes huge_gif = gif_through_giflib(65535, 65535, 0, 0, 1, 1, false, colours, -1, {1});
  // A PNG header of 65535 x 65535 with no image data.
  bytes huge_png = png_through_libpng(1, 1, PNG_COLOR_TYPE_GRAY, 8, {{0}});
  for (int i : {16, 20}) {  // width and height in IHDR, then its CRC
    huge_png[i] = 0;
    huge_png[i + 1] = 0;
    huge_png[i + 2] = 0xFF;
    huge_png[i + 3] = 0xFF;
  }
  uint32_t crc = uint32_t(::crc32(0, huge_png.data() + 12, 17));
  for (int k = 0; k < 4; ++k) huge_png[29 + k] = uint8_t(crc >> (24 - 8 * k));
  bytes endless_runs = bmp_file(2, 2, 8, 1, {0, 0, 0, 0}, {2, 0, 0, 0});  // no end of bitmap
  vector_sink runs;
  EXPECT_FALSE(decoded(endless_runs, runs));
  for (const bytes* data : {&huge_bmp, &wide_bmp, &huge_gif, &huge_png}) {
    vector_sink out;
    EXPECT_FALSE(decoded(*data, out));
    EXPECT_EQ(out.claims, 0);
  }
}

TEST(ImageCodecs, UnknownSignaturesAreNotImages) {
  const char* samples[] = {"", "B", "GIF88a", "\x89PN", "II*", "plain text"};
  for (const char* s : samples)
    EXPECT_EQ(sniff(reinterpret_cast<const uint8_t*>(s), std::strlen(s)), -1) << s;
  EXPECT_EQ(sniff(reinterpret_cast<const uint8_t*>("MM\0*"), 4), int32_t(tiff));
}

}  // namespace
}  // namespace kaz::image_codec

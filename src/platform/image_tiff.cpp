// TIFF through libtiff, reading from and writing to memory. The first directory is the image.
#include <tiffio.h>

#include <algorithm>
#include <cstring>

#include "platform/image_codecs.h"

namespace kaz::image_codec {

namespace {

// A read stream over the given bytes, or a write stream into `out`.
struct stream {
  const uint8_t* bytes;
  uint64_t size;
  uint64_t at;
  std::vector<uint8_t>* out;
};

stream* as_stream(thandle_t h) { return static_cast<stream*>(h); }

tmsize_t read_proc(thandle_t h, void* into, tmsize_t n) {
  stream* s = as_stream(h);
  if (n <= 0 || s->at >= s->size) return 0;
  uint64_t take = std::min<uint64_t>(uint64_t(n), s->size - s->at);
  std::memcpy(into, s->bytes + s->at, take);
  s->at += take;
  return static_cast<tmsize_t>(take);
}

// libtiff seeks to where it writes; a position far past the data is refused.
constexpr uint64_t max_written = uint64_t(1) << 32;

tmsize_t write_proc(thandle_t h, void* from, tmsize_t n) {
  stream* s = as_stream(h);
  if (!s->out || n < 0 || s->at + uint64_t(n) > max_written) return -1;
  if (s->at + n > s->out->size()) s->out->resize(s->at + n);
  std::memcpy(s->out->data() + s->at, from, size_t(n));
  s->at += uint64_t(n);
  return n;
}

uint64_t length_of(stream* s) { return s->out ? s->out->size() : s->size; }

toff_t seek_proc(thandle_t h, toff_t offset, int whence) {
  stream* s = as_stream(h);
  uint64_t base = whence == SEEK_CUR ? s->at : whence == SEEK_END ? length_of(s) : 0;
  uint64_t to = base + offset;
  if (to < base || to > max_written) return toff_t(-1);
  s->at = to;
  return to;
}

int close_proc(thandle_t) { return 0; }
toff_t size_proc(thandle_t h) { return length_of(as_stream(h)); }
int no_map(thandle_t, void**, toff_t*) { return 0; }
void no_unmap(thandle_t, void*, toff_t) {}

// Messages are not printed: a failure answers false.
int quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

TIFF* open_stream(stream& s, const char* mode) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(256) << 20);
  TIFFOpenOptionsSetErrorHandlerExtR(options, quiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, quiet, nullptr);
  TIFF* tif = TIFFClientOpenExt("memory", mode, &s, read_proc, write_proc, seek_proc, close_proc,
                                size_proc, no_map, no_unmap, options);
  TIFFOpenOptionsFree(options);
  return tif;
}

// libtiff gives associated (premultiplied) alpha in its RGBA path: back to plain colours.
uint32_t unpremultiply(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  if (a == 0 || a == 255) return argb(a, r, g, b);
  auto f = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
  return argb(a, f(r), f(g), f(b));
}

/*
 * 8-bit RGB or RGBA in strips is read row by row, keeping unassociated alpha exact; every
 * other layout goes through libtiff's RGBA reader.
 */
bool read_rows(TIFF* tif, uint32_t* pixels, uint32_t width, uint32_t height) {
  uint16_t bits = 0, samples = 0, photometric = 0, planar = PLANARCONFIG_CONTIG;
  uint16_t extra_count = 0;
  uint16_t* extra = nullptr;
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra_count, &extra);
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) return false;
  bool direct = !TIFFIsTiled(tif) && bits == 8 && planar == PLANARCONFIG_CONTIG &&
                photometric == PHOTOMETRIC_RGB && (samples == 3 || samples == 4);
  if (direct) {
    bool associated = samples == 4 && extra_count == 1 && extra[0] == EXTRASAMPLE_ASSOCALPHA;
    tmsize_t row_bytes = TIFFScanlineSize(tif);
    if (row_bytes < tmsize_t(width) * samples) return false;
    std::vector<uint8_t> row(static_cast<size_t>(row_bytes));
    for (uint32_t y = 0; y < height; ++y) {
      if (TIFFReadScanline(tif, row.data(), y, 0) < 0) return false;
      uint32_t* to = pixels + size_t(y) * width;
      for (uint32_t x = 0; x < width; ++x) {
        const uint8_t* p = row.data() + size_t(x) * samples;
        uint32_t a = samples == 4 ? p[3] : 255;
        to[x] = associated ? unpremultiply(a, p[0], p[1], p[2]) : argb(a, p[0], p[1], p[2]);
      }
    }
    return true;
  }
  char message[1024];
  if (!TIFFRGBAImageOK(tif, message)) return false;
  if (!TIFFReadRGBAImageOriented(tif, width, height, pixels, ORIENTATION_TOPLEFT, 1))
    return false;
  for (size_t i = 0, n = size_t(width) * height; i < n; ++i) {
    uint32_t p = pixels[i];  // A, B, G, R from the high byte
    pixels[i] = unpremultiply(TIFFGetA(p), TIFFGetR(p), TIFFGetG(p), TIFFGetB(p));
  }
  return true;
}

bool write_rows(TIFF* tif, const uint32_t* pixels, uint32_t width, uint32_t height) {
  bool opaque = all_opaque(pixels, size_t(width) * height);
  uint16_t samples = opaque ? 3 : 4;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  if (!opaque) {
    uint16_t kind = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &kind);
  }
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
  std::vector<uint8_t> row(size_t(width) * samples);
  for (uint32_t y = 0; y < height; ++y) {
    const uint32_t* from = pixels + size_t(y) * width;
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t* p = row.data() + size_t(x) * samples;
      p[0] = uint8_t(from[x] >> 16);
      p[1] = uint8_t(from[x] >> 8);
      p[2] = uint8_t(from[x]);
      if (!opaque) p[3] = uint8_t(from[x] >> 24);
    }
    if (TIFFWriteScanline(tif, row.data(), y, 0) < 0) return false;
  }
  return TIFFFlush(tif) == 1;
}

}  // namespace

bool decode_tiff(const uint8_t* bytes, size_t size, const pixel_sink& sink) {
  stream s{bytes, size, 0, nullptr};
  TIFF* tif = open_stream(s, "rm");
  if (!tif) return false;
  uint32_t width = 0, height = 0;
  bool ok = TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) &&
            TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  uint32_t* pixels = ok ? claim(sink, width, height) : nullptr;
  ok = pixels && read_rows(tif, pixels, width, height);
  TIFFClose(tif);
  return ok;
}

bool encode_tiff(const uint32_t* pixels, uint32_t width, uint32_t height,
                 std::vector<uint8_t>& out) {
  stream s{nullptr, 0, 0, &out};
  TIFF* tif = open_stream(s, "w");
  if (!tif) return false;
  bool ok = write_rows(tif, pixels, width, height);
  TIFFClose(tif);
  return ok;
}

}  // namespace kaz::image_codec

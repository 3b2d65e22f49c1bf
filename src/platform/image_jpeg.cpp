// JPEG through libjpeg-turbo.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <jerror.h>

#include "platform/image_codecs.h"

namespace kaz::image_codec {

/*
 * libjpeg reports a fatal error by calling error_exit, which must not return: ours jumps back
 * to the setjmp of the function that drives the library. Those functions hold only plain C
 * data, so no destructor is skipped, and they release the library's state on both paths.
 */
namespace {

struct jpeg_failure {
  jpeg_error_mgr manager;  // first, so the library's err pointer is ours too
  jmp_buf jump;
  bool truncated;
  jpeg_progress_mgr progress;
  unsigned char* out;  // the encoder's memory destination
  unsigned long out_size;
};

jpeg_failure* failure_of(j_common_ptr c) { return reinterpret_cast<jpeg_failure*>(c->err); }

void on_error(j_common_ptr c) { longjmp(failure_of(c)->jump, 1); }

// Warnings are not printed; a stream that ends early leaves grey rows, which is lost data.
void on_message(j_common_ptr c, int level) {
  if (level < 0 && c->err->msg_code == JWRN_JPEG_EOF) failure_of(c)->truncated = true;
}
void no_output(j_common_ptr) {}

// A progressive stream of thousands of tiny scans costs minutes: such data is refused.
constexpr int max_scans = 500;
void on_progress(j_common_ptr c) {
  if (c->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(c)->input_scan_number > max_scans)
    longjmp(failure_of(c)->jump, 1);
}

void init_failure(jpeg_failure& f) {
  jpeg_std_error(&f.manager);
  f.manager.error_exit = on_error;
  f.manager.emit_message = on_message;
  f.manager.output_message = no_output;
  f.truncated = false;
  f.progress = jpeg_progress_mgr{};
  f.progress.progress_monitor = on_progress;
  f.out = nullptr;
  f.out_size = 0;
}

// C, M, Y, K in place to B, G, R, A. Adobe writes the channels inverted.
void cmyk_row(uint32_t* row, uint32_t width, bool inverted) {
  for (uint32_t x = 0; x < width; ++x) {
    uint32_t p = row[x];
    uint32_t c = p & 255, m = (p >> 8) & 255, y = (p >> 16) & 255, k = p >> 24;
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    row[x] = argb(255, (c * k + 127) / 255, (m * k + 127) / 255, (y * k + 127) / 255);
  }
}

}  // namespace

bool decode_jpeg(const uint8_t* bytes, size_t size, const pixel_sink& sink) {
  jpeg_decompress_struct info;
  jpeg_failure failure;
  init_failure(failure);
  info.err = &failure.manager;
  if (setjmp(failure.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  info.progress = &failure.progress;
  jpeg_mem_src(&info, bytes, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
  uint32_t* pixels = claim(sink, info.image_width, info.image_height);
  if (!pixels) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_start_decompress(&info);
  uint32_t width = info.output_width;
  while (info.output_scanline < info.output_height) {
    uint32_t* row = pixels + size_t(info.output_scanline) * width;
    JSAMPROW rows[1] = {reinterpret_cast<JSAMPROW>(row)};
    if (jpeg_read_scanlines(&info, rows, 1) != 1) break;
    if (cmyk) cmyk_row(row, width, info.saw_Adobe_marker);
  }
  bool whole = info.output_scanline == info.output_height;
  if (whole) jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return whole && !failure.truncated;
}

bool encode_jpeg(const uint32_t* pixels, uint32_t width, uint32_t height,
                 std::vector<uint8_t>& out) {
  jpeg_compress_struct info;
  jpeg_failure failure;
  init_failure(failure);
  info.err = &failure.manager;
  if (setjmp(failure.jump)) {
    jpeg_destroy_compress(&info);
    std::free(failure.out);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &failure.out, &failure.out_size);
  info.image_width = width;
  info.image_height = height;
  info.input_components = 4;
  info.in_color_space = JCS_EXT_BGRX;  // JPEG has no alpha
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 95, TRUE);
  for (int i = 0; i < info.num_components; ++i)  // no chroma subsampling: colours stay sharp
    info.comp_info[i].h_samp_factor = info.comp_info[i].v_samp_factor = 1;
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < height) {
    auto* row = const_cast<uint32_t*>(pixels + size_t(info.next_scanline) * width);
    JSAMPROW rows[1] = {reinterpret_cast<JSAMPROW>(row)};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  out.assign(failure.out, failure.out + failure.out_size);
  std::free(failure.out);
  return true;
}

}  // namespace kaz::image_codec

// The TIFF decoder under libFuzzer (see image_fuzz.h).
#include "image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return image_fuzz::run(kaz::image_codec::decode_tiff, kaz::image_codec::tiff, data, size);
}

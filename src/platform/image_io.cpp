#include "platform/image_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "core/series_cell.h"
#include "core/string_storage.h"
#include "datatypes/binary.h"
#include "datatypes/image.h"
#include "datatypes/image_record.h"
#include "platform/files.h"
#include "platform/image_codecs.h"
#include "runtime/fire.h"

namespace kaz::image_os {

using image_record::new_record;
using image_record::pixels;
using image_record::size_allowed;

namespace {

// A decoder's pixels become a new record; refused sizes answer null instead of raising, as
// the decoder is between calls into a C library.
struct record_sink {
  node_t record = 0;
  uint32_t width = 0, height = 0;
};

uint32_t* claim_record(void* context, uint32_t width, uint32_t height) {
  auto* s = static_cast<record_sink*>(context);
  if (s->record || !size_allowed(width, height)) return nullptr;
  s->record = new_record(width, height);
  s->width = width;
  s->height = height;
  return pixels(s->record);
}

// Files are read whole; image files beyond the largest series are not images we can hold.
bool read_whole(const std::string& path, std::vector<uint8_t>& out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            uint64_t(st.st_size) < memory::max_series_bytes;
  if (ok) {
    out.resize(size_t(st.st_size));
    size_t got = 0;
    while (got < out.size()) {
      ssize_t n = ::read(fd, out.data() + got, out.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += size_t(n);
    }
    out.resize(got);
  }
  ::close(fd);
  return ok;
}

}  // namespace

node_t decode(const uint8_t* bytes, size_t size, uint32_t& width, uint32_t& height) {
  record_sink sink;
  image_codec::pixel_sink to{&sink, claim_record};
  if (!image_codec::decode(bytes, size, to)) return 0;
  width = sink.width;
  height = sink.height;
  return sink.record;
}

node_t load_file(const cell* file, uint32_t& width, uint32_t& height) {
  std::string path;
  std::vector<uint8_t> bytes;
  if (!files::os_path(file, path) || !read_whole(path, bytes)) return 0;
  return decode(bytes.data(), bytes.size(), width, height);
}

bool encode(node_t record, uint32_t width, uint32_t height, uint32_t format,
            std::vector<uint8_t>& out) {
  out.clear();
  if (width == 0 || height == 0) return format < image_codec::format_count;
  return image_codec::encode(format, pixels(record), width, height, out);
}


void decode_value(const cell* data_arg, cell* out) {
  cell data = *data_arg;
  uint32_t width = 0, height = 0;
  if (type_of(&data) == type::binary) {
    // The bytes are copied out of collector memory: decoding allocates the record.
    const uint8_t* head = binary::rs_head(&data);
    std::vector<uint8_t> bytes(head, head + binary::rs_length(&data));
    if (image_codec::sniff(bytes.data(), bytes.size()) < 0) {
      *out = cell{type::none, 0, 0, 0};
      return;
    }
    node_t record = decode(bytes.data(), bytes.size(), width, height);
    if (!record) fire(err::access_bad_media);
    image::init_cell(out, record, width, height);
    return;
  }
  node_t record = is_any_string(type_of(&data)) ? load_file(&data, width, height) : 0;
  if (!record) fire(err::access_cannot_open, &data);
  image::init_cell(out, record, width, height);
}

void encode_value(const cell* image_arg, uint32_t format, cell* out) {
  cell img = *image_arg;
  std::vector<uint8_t> bytes;
  if (!encode(series::node_of(&img), image::width_of(&img), image::height_of(&img), format, bytes))
    fire(err::access_bad_media);
  binary::init_cell(out, static_cast<uint32_t>(bytes.size()));
  if (!bytes.empty()) binary::append_bytes(out, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

}  // namespace kaz::image_os

// Paths between file! values and the system: UTF-8 text, with the bytes of names that are not
// valid UTF-8 carried as U+DC80..U+DCFF both ways.
#include "platform/files.h"

#include "core/string_storage.h"
#include "memory/unicode_strings.h"
#include "memory/unicode_utf8.h"

namespace kaz::files {

namespace {
constexpr uint32_t raw_byte_base = 0xDC00;  // U+DC80..U+DCFF stand for bytes 80h..FFh
}

bool os_path(const cell* file, std::string& out) {
  out.clear();
  unicode::text_range t = unicode::text_from_head(file);
  out.reserve(t.count);
  uint8_t bytes[4];
  for (uint32_t i = 0; i < t.count; ++i) {
    uint32_t c = string::get_char(t.p + size_t(i) * t.unit, t.unit);
    if (c == 0) return false;
    if (c >= raw_byte_base + 0x80 && c <= raw_byte_base + 0xFF) {
      out += static_cast<char>(c - raw_byte_base);
      continue;
    }
    uint32_t n = unicode::utf8_append_encoded(c, bytes);
    out.append(reinterpret_cast<const char*>(bytes), n);
  }
  return true;
}

void append_os_name(node_t node, std::string_view name) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(name.data());
  size_t left = name.size();
  while (left > 0) {
    size_t used = 0;
    int32_t c = unicode::utf8_decode_char(p, left, used);
    if (c < 0 || (c >= 0xD800 && c <= 0xDFFF)) {  // a stray byte, kept as it is
      string::append_code_point(node, raw_byte_base + *p);
      used = 1;
    } else {
      string::append_code_point(node, static_cast<uint32_t>(c));
    }
    p += used;
    left -= used;
  }
}

bool dir_path_q(std::string_view path) {
  if (path.empty()) return false;
  if (path.back() == '/') return true;
  size_t cut = path.rfind('/');
  std::string_view last = cut == std::string_view::npos ? path : path.substr(cut + 1);
  return last == "." || last == "..";
}

}  // namespace kaz::files

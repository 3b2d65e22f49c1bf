// Strings and encoded text: loading UTF-8 and UTF-16LE input into string buffers, and the UTF-8
// of a value for the C++ side.
#include <algorithm>
#include <cstring>

#include "core/block_storage.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "memory/unicode_strings.h"
#include "memory/unicode_utf8.h"
#include "runtime/fire.h"
#include "runtime/float_text.h"
#include "runtime/print_items.h"
#include "runtime/runtime_error.h"

namespace kaz::string {

namespace {

uint32_t checked_count(uint64_t units, uint32_t unit) {
  if (units * unit > memory::max_series_bytes) fire(err::internal_no_memory);
  return static_cast<uint32_t>(units);
}

// A binary! of the bytes from `at` to the end of the input, for invalid-utf8.
[[noreturn]] void raise_invalid_utf8(const uint8_t* src, uint32_t at, uint32_t length) {
  uint32_t n = length - at;
  node_t b = memory::alloc_bytes(n);
  series_buffer* s = memory::buffer_of(b);
  std::memcpy(s->head_rw(), src + at, n);
  s->tail = s->offset + n;
  cell arg{type::binary, 0, b, 0};
  fire(err::access_invalid_utf8, &arg);
}

// Decodes scanned UTF-8 onto the tail of the buffer, widening it first as the text needs.
void append_scanned(node_t node, const uint8_t* src, const unicode::utf8_scan_result& scan) {
  uint32_t need = unicode::unit_for(scan.max_cp);
  if (need > memory::buffer_of(node)->unit()) widen(node, need);
  uint32_t unit = checked_unit(memory::buffer_of(node));
  series_buffer* s = ensure_room(node, uint64_t(checked_count(scan.code_points, unit)) * unit);
  size_t n = unicode::utf8_decode_units(src + scan.start, scan.end - scan.start, s->tail_rw(),
                                        unit, false);
  s->tail += static_cast<uint32_t>(n * unit);
}

}  // namespace

uint32_t append_utf8(node_t node, std::string_view text) {
  auto* src = reinterpret_cast<const uint8_t*>(text.data());
  unicode::utf8_scan_result scan = unicode::utf8_scan(src, text.size(), false, false, false);
  append_scanned(node, src, scan);
  return static_cast<uint32_t>(scan.end);
}

cell* decode_input(const uint8_t* src, uint32_t length, cell* out, int32_t enc) {
  if (!out) out = stack::reserve_cell();
  *out = cell{type::unset, 0, 0, 0};
  node_t node;
  if (enc == encoding::utf8) {
    node = unicode::utf8_decode_into_string(src, length, 0, nullptr, false);
  } else if (enc == encoding::utf16le) {
    node = unicode::utf16_decode_into_string(src, length, nullptr, false);
  } else {
    sysrt::prin_list({sysrt::item::text("*** Loading Error: input encoding unsupported")});
    sysrt::quit_with_code(0, KAZ_ERROR_SITE());
  }
  *out = cell{type::string, 0, node, 0};
  return out;
}

cell* decode_input_append(const uint8_t* src, uint32_t length, cell* block, int32_t enc) {
  cell fresh;
  decode_input(src, length, &fresh, enc);
  return block::append_copy(block, &fresh);
}

cell* decode_input_push(const uint8_t* src, uint32_t length, int32_t enc) {
  return decode_input(src, length, nullptr, enc);
}

cell* load_utf8_binary(const uint8_t* src, uint32_t length) {
  cell* out = stack::reserve_cell();
  make_at(out, length);
  unicode::utf8_scan_result scan = unicode::utf8_scan(src, length, false, false, true);
  append_scanned(out->data2, src, scan);
  if (scan.end < length) raise_invalid_utf8(src, static_cast<uint32_t>(scan.end), length);
  return out;
}

std::string to_utf8(const cell* v, int32_t part) {
  text t = text_of(v);
  size_t n = t.length;
  if (part >= 0 && static_cast<uint32_t>(part) < n) n = static_cast<uint32_t>(part);
  size_t bytes = unicode::utf8_size_of_units(t.p, n, t.unit, false);
  std::string out(bytes, '\0');
  unicode::utf8_encode_units(t.p, n, t.unit, reinterpret_cast<uint8_t*>(out.data()), bytes, false);
  return out;
}

double scan_float(const uint8_t* start, uint32_t length) {
  std::string_view s(reinterpret_cast<const char*>(start), length);
  sysrt::float_scan r = sysrt::text_to_float(s, 0);
  return r.rest == 0 ? r.value : __builtin_nan("");
}

}  // namespace kaz::string

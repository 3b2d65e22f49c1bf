// The CSV loader's scanning core under libFuzzer: the first bytes choose the options (flat,
// header, strict, ignore-empty), the delimiter (one or two characters) and the quote character;
// the rest, read as UTF-8 text, goes through _scan-csv. Crashes, sanitizer reports and hangs
// are faults; so is a status other than 0, -1 or a line number within the text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/block_storage.h"
#include "core/error.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "library/csv_scan.h"
#include "memory/collector.h"
#include "runtime/cell.h"
#include "runtime/fire.h"
#include "start/boot.h"

using namespace kaz;

namespace {

uint32_t pick_char(uint8_t b) {
  static const uint32_t chars[] = {',', ';', '\t', ':', '"', '\'', ' ', '\n', '\r', 'a', 0xE9, 0x1F600};
  return chars[b % (sizeof chars / sizeof chars[0])];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool booted = [] {
    boot::init_runtime();
    collector::set_active(true);
    return true;
  }();
  (void)booted;
  if (size < 4) return 0;
  uint8_t flags = data[0];
  std::string_view text(reinterpret_cast<const char*>(data + 4), size - 4);
  cell* saved_top = stack::top;
  try {
    cell* a = stack::reserve_cell();
    for (int i = 1; i < 8; ++i) stack::reserve_cell();
    string::make_at(&a[0], static_cast<uint32_t>(text.size() + 1));
    string::append_utf8(a[0].data2, text);
    if (flags & 0x10) {
      string::make_at(&a[1], 2);
      string::append_code_point(a[1].data2, pick_char(data[1]));
      string::append_code_point(a[1].data2, pick_char(data[2]));
    } else {
      a[1] = cell{type::char_, 0, pick_char(data[1]), 0};
    }
    a[2] = cell{type::char_, 0, pick_char(data[3]), 0};
    block::init_cell(&a[3], 4);
    for (int i = 0; i < 4; ++i) a[4 + i] = cell{type::logic, (flags >> i) & 1u, 0, 0};
    library::csv::scan(a);
    auto status = static_cast<int32_t>(a->data2);
    if (type_of(a) != type::integer || status < -1 || status > int32_t(text.size()) + 1)
      __builtin_trap();
  } catch (const language_error&) {
    error::in_flight.header = type::unset;
  }
  stack::top = saved_top;
  return 0;
}

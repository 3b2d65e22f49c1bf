// The JSON loader's scanning core under libFuzzer: any bytes, read as UTF-8 text, through
// _scan-json; what loads is written again by _to-json (compact, or pretty and ASCII only) and
// must load again. Invalid text and lone surrogates are expected answers; crashes, sanitizer
// reports, hangs, native stack overflows on deep nesting and written text that does not load
// are not.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/block_storage.h"
#include "core/error.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "library/json_emit.h"
#include "library/json_scan.h"
#include "memory/collector.h"
#include "runtime/cell.h"
#include "runtime/fire.h"
#include "start/boot.h"

using namespace kaz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool booted = [] {
    boot::init_runtime();
    collector::set_active(true);
    return true;
  }();
  (void)booted;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  cell* saved_top = stack::top;
  try {
    cell* a = stack::reserve_cell();
    string::make_at(a, static_cast<uint32_t>(size + 1));
    string::append_utf8(a->data2, text);
    library::json::scan(a);
    // The answer is one value, or the three integers of the failure.
    int32_t n = block::rs_length(a);
    if (type_of(a) != type::block || (n != 1 && n != 3)) __builtin_trap();
    if (n == 1) {
      cell* args = stack::reserve_cell();
      stack::reserve_cell();
      stack::reserve_cell();
      args[0] = *block::rs_head(a);
      if (size & 1) {
        string::make_at(&args[1], 4);
        string::append_code_point(args[1].data2, ' ');
        args[2] = cell{type::logic, 1, 0, 0};
      } else {
        args[1] = cell{type::none, 0, 0, 0};
        args[2] = cell{type::logic, 0, 0, 0};
      }
      library::json::emit(args);
      library::json::scan(args);
      if (block::rs_length(args) != 1) __builtin_trap();
    }
  } catch (const language_error&) {
    error::in_flight.header = type::unset;
  }
  stack::top = saved_top;
  return 0;
}

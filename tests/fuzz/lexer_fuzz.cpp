// The lexer under libFuzzer: any bytes through every mode of the scan, with and without a trace
// callback that refuses errors and moves the input. Syntax errors are expected; crashes,
// sanitizer reports, hangs and values left half-built are not.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/stack.h"
#include "loader/lexer_hooks.h"
#include "loader/lexer_transcode.h"
#include "memory/collector.h"
#include "runtime/cell.h"
#include "runtime/fire.h"
#include "start/boot.h"

namespace {

using namespace kaz;

const uint8_t* fuzz_data = nullptr;
size_t fuzz_size = 0;
uint32_t fuzz_calls = 0;

// A callback driven by the input's bytes: it moves the input on by a few units and answers
// false now and then, as a tracer that skips bad input does. (A callback that keeps moving
// the input back loops for ever, as the user wrote it; the fuzzer does not.)
bool fuzz_trace(const cell*, cell args[5]) {
  uint8_t b = fuzz_size ? fuzz_data[fuzz_calls++ % fuzz_size] : 0;
  if (b & 0x10) args[1].data1 += b & 3;
  return (b & 0x80) == 0;
}

void run(std::string_view text, const lexer::scan_options& o) {
  cell* saved_top = stack::top;
  try {
    cell out;
    lexer::scan_utf8(text, o, &out);
  } catch (const language_error&) {
  }
  stack::top = saved_top;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool booted = [] {
    boot::init_runtime();
    collector::set_active(true);
    return true;
  }();
  (void)booted;
  std::string_view text(reinterpret_cast<const char*>(data), size);

  lexer::scan_options load, one, prescan, scan;
  one.one = true;
  prescan.prescan = true;
  scan.scan = true;
  run(text, load);
  run(text, one);
  run(text, prescan);
  run(text, scan);

  // Into a block, which keeps the values completed before an error.
  cell target;
  block::init_cell(&target, 4);
  cell* held = stack::push(&target);
  lexer::scan_options into;
  into.into = held;
  run(text, into);
  stack::top = held;

  // Traced: the callback may refuse errors and move the input anywhere near.
  fuzz_data = data;
  fuzz_size = size;
  fuzz_calls = 0;
  lexer::hooks.call_trace = fuzz_trace;
  cell callback{type::none, 0, 0, 0};
  lexer::scan_options traced;
  traced.trace = &callback;
  run(text, traced);
  traced.scan = true;
  run(text, traced);
  lexer::hooks.call_trace = nullptr;
  return 0;
}

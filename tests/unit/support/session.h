// A booted runtime for unit tests that evaluate Kaz code: the runtime and the library are built
// once per process, and `run` evaluates source text and answers its molded result or the error
// it raised, as the script tests do.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/error.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "eval/interpreter.h"
#include "library/library.h"
#include "loader/lexer_transcode.h"
#include "memory/collector.h"
#include "runtime/fire.h"
#include "runtime/native_stack.h"
#include "start/boot.h"

namespace kaz::testing {

// Builds the runtime (unless another suite of this process did) and runs the library's top
// level once. From then on the collector runs: every allocation may collect (and, under the
// torture switches, does).
inline void boot() {
  static bool library = false;
  if (library) return;
  library = true;
  sysrt::enter_runtime_thread(__builtin_frame_address(0));  // the test thread's depth guard
  if (!error::ready()) boot::init_runtime();
  collector::set_active(true);
  library::run_top_level();
}

// The molded text of a value.
inline std::string molded(const cell* v, bool all = false) {
  cell buffer;
  string::make_at(&buffer, 16);
  cell* held = stack::push(&buffer);
  cell value = *v;
  actions::mold(&value, held, false, all, false, nullptr, 0x7FFFFFFF, 0);
  std::string s = string::to_utf8(held);
  stack::top--;
  return s;
}

// "!! category id" for the error in flight.
inline std::string error_text() {
  return "!! " + error::type_name(&error::in_flight) + " " + error::id_name(&error::in_flight);
}

// Evaluates source text and pushes its value on the evaluation stack (for tests that go on to
// call slots directly); errors propagate.
inline cell* eval(std::string_view text) {
  cell* code = stack::reserve_cell();
  lexer::load_text_block(text, code);
  cell result;
  flow f = interp::do_block(code, &result);
  EXPECT_EQ(f, flow::normal) << text;
  *code = result;
  stack::top = code + 1;
  return code;
}

// Evaluates source text: its value molded, or the error it raised.
inline std::string run(std::string_view text) {
  stack::saved_state saved = stack::save();
  std::string out;
  try {
    out = molded(eval(text));
  } catch (const language_error&) {
    out = error_text();
  }
  stack::unwind_to(saved);
  return out;
}

}  // namespace kaz::testing

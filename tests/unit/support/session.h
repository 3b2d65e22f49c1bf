// A booted runtime for tests that evaluate Kaz code before the script runner can: the runtime is
// built once per process with the library's first files, and `run` evaluates source text and
// answers its molded result or the error it raised.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "core/actions.h"
#include "core/context.h"
#include "core/error.h"
#include "core/fire.h"
#include "core/function.h"
#include "core/interpreter.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "datatypes/block_storage.h"
#include "datatypes/string_storage.h"
#include "memory/collector.h"
#include "runtime/boot.h"
#include "runtime/embedded.h"
#include "runtime/native_stack.h"
#include "../core/mini_reader.h"

namespace kaz::testing {

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

// "!! category id" for the error in flight (with KAZ_TEST_VERBOSE, its first argument too).
inline std::string error_text() {
  std::string out =
      "!! " + error::type_name(&error::in_flight) + " " + error::id_name(&error::in_flight);
  if (std::getenv("KAZ_TEST_VERBOSE")) {
    cell e = error::in_flight;
    out += " / " + molded(error::field_of(&e, error::field::arg1));
  }
  return out;
}

// Reads text (words, integers, strings, blocks, parens, paths: the minimal reader) into a
// block on the evaluation stack, bound to the global context.
inline cell* load(std::string_view text) {
  cell* b = block::push_only(8);
  mini_reader(text).read_into(b);
  context::bind_block(context::global, b, false);
  return b;
}

// Evaluates source text: its last value molded, or the error it raised.
inline std::string run(std::string_view text) {
  stack::saved_state saved = stack::save();
  try {
    cell* code = load(text);
    cell result;
    flow f = interp::do_block(code, &result);
    std::string out = f == flow::normal ? molded(&result) : "flow";
    stack::unwind_to(saved);
    return out;
  } catch (const language_error&) {
    std::string out = error_text();
    stack::unwind_to(saved);
    return out;
  }
}

/*
 * Builds the runtime once per process (unless another test did) and evaluates what the minimal
 * reader can load of the library: the typesets of the base definitions, the actions, natives
 * and operators, then the logic words. `make` exists before the actions file defines it
 * (untyped), since that file makes every action with it. From then on the collector runs, so
 * every allocation may collect (and, under the torture switches, does).
 */
inline void boot() {
  static bool library = false;
  if (library) return;
  library = true;
  sysrt::enter_runtime_thread(__builtin_frame_address(0));  // the test thread's depth guard
  if (!context::global) boot::init_runtime();
  cell* spec = load("type spec");
  cell make;
  function::make_native(&make, type::action, spec, 1);
  context::put_word_value(context::global, symbol::make("make"), &make);
  stack::top = stack::bottom;
  for (const embedded_file* f = embedded_files; f->path; ++f) {
    std::string_view path(f->path);
    if (path.find("00-base") == std::string_view::npos &&
        path.find("01-actions") == std::string_view::npos &&
        path.find("02-natives") == std::string_view::npos &&
        path.find("03-operators") == std::string_view::npos)
      continue;
    std::string_view text(f->text, f->length);
    if (path.find("00-base") != std::string_view::npos) text = text.substr(0, text.find("\nnone:"));
    size_t body = text.find(']');  // the Kaz [...] header
    std::string r = run(text.substr(body + 1));
    ASSERT_EQ(r.rfind("!!", 0), std::string::npos) << f->path << ": " << r;
  }
  std::string logic = run("none: make none! 0 true: make logic! 1 false: make logic! 0");
  ASSERT_EQ(logic.rfind("!!", 0), std::string::npos) << logic;
  collector::set_active(true);
}

// Evaluates source text and pushes its value on the evaluation stack (for tests that call
// slots directly); errors propagate.
inline cell* eval(std::string_view text) {
  cell* code = load(text);
  cell result;
  flow f = interp::do_block(code, &result);
  EXPECT_EQ(f, flow::normal) << text;
  *code = result;
  stack::top = code + 1;
  return code;
}

// A table of code and what it gives.
struct expected {
  const char* code;
  const char* result;
};

inline void check_all(std::initializer_list<expected> cases) {
  for (const expected& c : cases) EXPECT_EQ(run(c.code), c.result) << c.code;
}

}  // namespace kaz::testing

// A runtime for the tests of what the language cannot reach: boots once per process, runs the
// library's top level, and evaluates code given as text.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "core/actions.h"
#include "core/context.h"
#include "core/error.h"
#include "core/function.h"
#include "core/object.h"
#include "core/interpreter.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "datatypes/block_storage.h"
#include "datatypes/string_storage.h"
#include "library/library.h"
#include "loader/lexer_transcode.h"
#include "memory/collector.h"
#include "runtime/boot.h"
#include "runtime/native_stack.h"

namespace kaz::testing {

// The text of a value: molded, or formed.
inline std::string text_of(const cell* v, bool formed = false) {
  cell buffer;
  string::make_at(&buffer, 16);
  cell* held = stack::push(&buffer);
  cell value = *v;
  if (formed)
    actions::form(&value, held, nullptr, 0x7FFFFFFF);
  else
    actions::mold(&value, held, false, false, false, nullptr, 0x7FFFFFFF, 0);
  std::string s = string::to_utf8(held);
  stack::top = held;
  return s;
}

enum class answer { molded, formed, none };

// Evaluates code in the global context. The result is molded (or formed, or not shown); an
// error answers "!! category id", or with `error_text` its formed text.
inline std::string run(std::string_view code, answer how, bool error_text = false) {
  stack::saved_state saved = stack::save();
  std::string out;
  try {
    cell* b = stack::reserve_cell();
    lexer::load_text_block(code, b);
    context::bind_block(context::global, b, false);
    cell result;
    flow f = interp::do_block(b, &result);
    if (f != flow::normal)
      out = "flow";
    else if (how != answer::none)
      out = text_of(&result, how == answer::formed);
  } catch (const language_error&) {
    cell e = error::in_flight;
    stack::push(&e);
    out = error_text ? text_of(&e, true)
                     : "!! " + error::type_name(&e) + " " + error::id_name(&e);
  }
  stack::unwind_to(saved);
  return out;
}

inline std::string run(std::string_view code) { return run(code, answer::molded); }

// Boots the runtime and runs the library's top level, once per process.
inline void boot_session() {
  static bool booted = false;
  if (booted) return;
  booted = true;
  if (!context::global) {
    sysrt::enter_runtime_thread(__builtin_frame_address(0));
    boot::init_runtime();
  }
  collector::set_active(true);  // from here every allocation may collect (and torture)
  try {
    library::run_top_level();
  } catch (const language_error&) {
    cell e = error::in_flight;
    ADD_FAILURE() << "the library did not load: " << text_of(&e, true);
  }
}

class Session : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { boot_session(); }
};

// A table of code and the expected answer of run().
struct kaz_case {
  const char* code;
  const char* expected;
};

inline void expect_cases(std::initializer_list<kaz_case> cases, answer how = answer::molded) {
  for (const kaz_case& c : cases) EXPECT_EQ(run(c.code, how), c.expected) << c.code;
}

}  // namespace kaz::testing

// A runtime for language-level tests from C++: boots once per process, evaluates the library
// files through the lexer, and runs code given as text.
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
#include "loader/lexer_transcode.h"
#include "memory/collector.h"
#include "runtime/boot.h"
#include "runtime/embedded.h"
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

// Boots the runtime and evaluates the library, once per process.
inline void boot_session() {
  static bool loaded = false;
  if (loaded) return;
  loaded = true;
  if (!context::global) {
    sysrt::enter_runtime_thread(__builtin_frame_address(0));
    boot::init_runtime();
  }
  {
    // `make` first: the library's own definitions use it.
    cell spec;
    lexer::load_text_block("type spec", &spec);
    stack::push(&spec);
    cell make;
    function::make_native(&make, type::action, &spec, 1);
    context::put_word_value(context::global, symbol::make("make"), &make);
    stack::top = stack::bottom;
  }
  for (const embedded_file* f = embedded_files; f->path; ++f) {
    std::string_view path(f->path);
    if (path.find("src/library/") == std::string_view::npos) continue;
    std::string_view text(f->text, f->length);
    text = text.substr(text.find(']') + 1);  // after the Kaz [...] header
    // Line by line: a definition the lexer cannot read yet leaves only that word undefined.
    while (!text.empty()) {
      size_t end = text.find('\n');
      std::string_view line = text.substr(0, end);
      text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
      // A definition may span lines: gather them while brackets are open.
      std::string code(line);
      auto open = [](const std::string& c) {
        int depth = 0;
        for (char ch : c) depth += ch == '[' ? 1 : ch == ']' ? -1 : 0;
        return depth > 0;
      };
      while (open(code) && !text.empty()) {
        end = text.find('\n');
        code += '\n';
        code += text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
      }
      std::string r = run(code, answer::none);
      if (r.rfind("!! syntax", 0) == 0) continue;
      EXPECT_EQ(r.rfind("!!", 0), std::string::npos) << f->path << ": " << code << " " << r;
    }
  }
  collector::set_active(true);  // from here every allocation may collect (and torture)
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

// The interpreter and the core natives, driven through a minimal reader until the lexer runs.
#include <gtest/gtest.h>

#include <cstring>

#include "core/actions.h"
#include "core/context.h"
#include "core/error.h"
#include "core/function.h"
#include "core/interpreter.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "memory/collector.h"
#include "mini_reader.h"
#include "runtime/boot.h"
#include "runtime/embedded.h"
#include "runtime/native_stack.h"

namespace kaz {
namespace {

// Reads text into a new block held on the evaluation stack.
cell* read_block(std::string_view text) {
  cell* b = block::push_only(8);
  testing::mini_reader(text).read_into(b);
  return b;
}

std::string molded(const cell* v) {
  cell buffer;
  string::make_at(&buffer, 16);
  cell* held = stack::push(&buffer);
  cell value = *v;
  actions::mold(&value, held, false, false, false, nullptr, 0x7FFFFFFF, 0);
  std::string s = string::to_utf8(held);
  stack::top--;
  return s;
}

std::string run(std::string_view text) {
  stack::saved_state saved = stack::save();
  try {
    cell* code = read_block(text);
    context::bind_block(context::global, code, false);
    cell result;
    flow f = interp::do_block(code, &result);
    std::string out = f == flow::normal ? molded(&result) : "flow";
    stack::unwind_to(saved);
    return out;
  } catch (const language_error&) {
    std::string out =
        "!! " + error::type_name(&error::in_flight) + " " + error::id_name(&error::in_flight);
    if (getenv("KAZ_TEST_VERBOSE")) {
      cell e = error::in_flight;
      out += " / " + molded(error::field_of(&e, error::field::arg1));
    }
    stack::unwind_to(saved);
    return out;
  }
}

// The make action (untyped until the typesets exist), the typesets, then every library file the
// minimal reader can load.
void boot_library() {
  cell* spec = read_block("type spec");
  cell make;
  function::make_native(&make, type::action, spec, 1);
  context::put_word_value(context::global, symbol::make("make"), &make);
  stack::top = stack::bottom;
  for (const embedded_file* f = embedded_files; f->path; ++f) {
    std::string_view path(f->path);
    std::string_view text(f->text, f->length);
    if (path.find("00-base") != std::string_view::npos) {
      // Only the typesets: the constants need the lexer.
      size_t end = text.find("\nnone:");
      text = text.substr(0, end);
    } else if (path.find("01-actions") == std::string_view::npos &&
               path.find("02-natives") == std::string_view::npos &&
               path.find("03-operators") == std::string_view::npos) {
      continue;
    }
    size_t body = text.find(']');  // skip the Kaz [...] header
    std::string r = run(text.substr(body + 1));
    ASSERT_EQ(r.rfind("!!", 0), std::string::npos) << f->path << ": " << r;
  }
  std::string logic = run("none: make none! 0 true: make logic! 1 false: make logic! 0");
  ASSERT_EQ(logic.rfind("!!", 0), std::string::npos) << logic;
}

class Interpreter : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static bool booted = false;
    if (booted) return;
    booted = true;
    sysrt::enter_runtime_thread(__builtin_frame_address(0));  // the test thread's depth guard
    boot::init_runtime();
    boot_library();
    collector::set_active(true);  // from here every allocation may collect (and torture)
  }
};

TEST_F(Interpreter, EvaluatesExpressionsAndCalls) {
  struct {
    const char* code;
    const char* result;
  } cases[] = {
      {"1 + 2 * 3", "9"},
      {"either 1 < 2 ['yes] ['no]", "yes"},
      {"if none [1]", "none"},
      {"x: 10 x + 1", "11"},
      {"f: func [a b] [a - b] f 10 3", "7"},
      {"f: func [a /neg] [either neg [0 - a] [a]] f/neg 5", "-5"},
      {"f: func [n] [either n < 2 [n] [(f n - 1) + (f n - 2)]] f 10", "55"},
      {"loop 3 [1] ", "1"},
      {"n: 0 loop 5 [n: n + 1] n", "5"},
      {"n: 0 repeat i 4 [n: n + i] n", "10"},
      {"n: 0 while [n < 5] [n: n + 1] n", "5"},
      {"loop 3 [break/return 7]", "7"},
      {"f: func [] [loop 10 [return 3] 4] f", "3"},
      {"catch [throw 5 6]", "5"},
      {"catch/name [throw/name 5 'a] 'a", "5"},
      {"any [none 2 3]", "2"},
      {"all [1 none]", "none"},
      {"case [false [1] true [2]]", "2"},
      {"switch 2 [1 ['a] 2 ['b]]", "b"},
      {"reduce [1 + 1 2 + 2]", "[2 4]"},
      {"compose [a (1 + 1) b]", "[a 2 b]"},
      {"b: [1 2 3] n: 0 foreach x b [n: n + x] n", "6"},
      {"type? 1", "integer!"},
      {"o: make object! [a: 1 b: a + 1] o/b", "2"},
      {"do [1 2 3]", "3"},
      {"f: function [] [z: 5 z] f", "5"},
      {"mold [a [b] \"c\" d/e]", "{[a [b] \"c\" d/e]}"},
      {"1 = 1", "true"},
      {"apply :subtract [10 3]", "7"},
      {"f: func [a /neg b] [either neg [a - b] [a]] apply :f [10 /neg true 4]", "6"},
      {"apply :f [10 /neg false 4]", "10"},
      {"apply/all :f [10 true 1]", "9"},
      {"apply 'f/neg [10 2]", "8"},
  };
  for (auto& c : cases) EXPECT_EQ(run(c.code), c.result) << c.code;
}

TEST_F(Interpreter, RaisesCatalogueErrors) {
  struct {
    const char* code;
    const char* error;
  } cases[] = {
      {"undefined-word", "!! script no-value"},
      {"x:", "!! script need-value"},
      {"f: func [a] [a] f", "!! script no-arg"},
      {"break", "!! throw break"},
      {"return 1", "!! throw return"},
      {"throw 1", "!! throw throw"},
      {"either unset 'q [1] [2]", "!! script no-return"},
      {"f: func [a [integer!]] [a] f \"x\"", "!! script expect-arg"},
      {"func [a a] []", "!! script dup-vars"},
      {"f: func [a] [a] f/nope 1", "!! script no-refine"},
  };
  for (auto& c : cases) EXPECT_EQ(run(c.code), c.error) << c.code;
}

TEST_F(Interpreter, TryCatchesErrorsAndRestoresTheStack) {
  EXPECT_EQ(run("e: try [undefined-word] type? e"), "error!");
  EXPECT_EQ(run("f: func [n] [either n = 0 [undefined-word] [f n - 1]] type? try [f 50]"),
            "error!");
  EXPECT_EQ(run("f: func [n] [f n + 1] type? try [f 1]"), "error!");
  EXPECT_EQ(run("1 + 1"), "2");
}

}  // namespace
}  // namespace kaz

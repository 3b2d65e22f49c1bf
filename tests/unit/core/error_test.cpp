// Errors: making them, their text, their call stack, and the catalogue.
#include <gtest/gtest.h>

#include "core/error.h"
#include "kaz_session.h"

namespace kaz::testing {
namespace {

using Errors = Session;

TEST_F(Errors, MadeFromCodesBlocksAndMessages) {
  expect_cases({
      {"e: make error! 300 reduce [e/code e/type e/id]", "[300 script no-value]"},
      {"e: make error! 913 reduce [e/code e/type e/id]", "[913 internal deprecated]"},
      {"e: make error! [script no-value] reduce [e/code e/type e/id]", "[300 script no-value]"},
      {"e: make error! [Script No-Value ignored] e/code", "300"},
      {"e: make error! [type: 'script id: 'no-value arg1: 'x] reduce [e/code e/id e/arg1]",
       "[300 no-value x]"},
      {"e: make error! \"boom\" reduce [e/code e/type e/id e/arg1]", "[800 user message \"boom\"]"},
      {"make error! 399", "!! script out-of-range"},  // script has 94 ids, 300 to 393
      {"make error! -1", "!! script out-of-range"},
      {"make error! 1000", "!! script out-of-range"},
      {"make error! [script nonsense]", "!! script invalid-spec-field"},
      {"make error! [script]", "!! script invalid-spec-field"},
      {"make error! [nonsense no-value]", "!! script invalid-spec-field"},
      {"make error! [script 5]", "!! script invalid-arg"},
      {"make error! [type: 'script id: 5]", "!! script invalid-arg"},
      {"make error! [type: 'script]", "!! script invalid-spec-field"},
      {"make error! [1 2]", "!! internal invalid-error"},
      {"make error! 'x", "!! script bad-make-arg"},
      {"reflect make error! 300 'class", "1"},
  });
  EXPECT_EQ(run("make error! [script nonsense]", answer::formed, true),
            "*** Script Error: invalid id field in spec block\n*** Where: make\n"
            "*** Near : make error! [script nonsense]");
}

TEST_F(Errors, FormWritesMessageWhereAndNear) {
  struct {
    const char* code;
    const char* text;
  } cases[] = {
      {"make error! [type: 'script id: 'no-value arg1: 'foo where: 'print near: [foo]]",
       "*** Script Error: foo has no value\n*** Where: print\n*** Near : foo"},
      // Arguments are molded (formed for syntax errors) and cut to 80 characters; near to 40.
      {"make error! [type: 'script id: 'invalid-arg where: \"here\" "
       "arg1: \"0123456789012345678901234567890123456789012345678901234567890123456789012345678\" "
       "near: [a b c d e f g h i j k l m n o p q r s t u v w x y z]]",
       "*** Script Error: invalid argument: {01234567890123456789012345678901234567890123456789"
       "01234567890123456789012345678\n*** Where: here\n*** Near : a b c d e f g h i j k l m n o p "
       "q r s t "},
      {"make error! [type: 'syntax id: 'invalid arg1: \"text\" arg2: 'block! arg3: \"x\"]",
       "*** Syntax Error: text invalid block! at x\n*** Where: ???\n*** Near : none"},
      {"make error! \"my message\"", "*** User Error: my message\n*** Where: ???\n*** Near : none"},
      {"e: make error! 800 e/arg1: 42 e", "*** User Error: 42\n*** Where: ???\n*** Near : none"},
      {"make error! 902", "*** Internal Error: not enough memory\n*** Where: ???\n*** Near : none"},
      {"make error! 100", "*** note: cannot load:  none\n*** Where: ???\n*** Near : none"},
      // A type or id that names no entry shows the offending word.
      {"e: make error! 300 e/type: 'nonsense e",
       "*** Internal Error: invalid error object field value: nonsense\n*** Where: ???\n"
       "*** Near : none"},
      {"e: make error! 300 e/id: 'nonsense e",
       "*** Internal Error: invalid error object field value: nonsense\n*** Where: ???\n"
       "*** Near : none"},
      {"f: func [] [g] g: func [] [undefined-x] try [f]",
       "*** Script Error: undefined-x has no value\n*** Where: g\n*** Near : undefined-x"},
  };
  for (auto& c : cases) EXPECT_EQ(run(c.code, answer::formed), c.text) << c.code;
}

TEST_F(Errors, TheStackLineFollowsTheSystemSetting) {
  run("f: func [] [g] g: func [] [undefined-x]");
  expect_cases({
      {"e: try [f] e/stack", "10"},  // a frame reference while it travels
      {"e: try/keep [f] e/stack", "[g]"},
      {"e: try [f] form e", "{*** Script Error: undefined-x has no value^/*** Where: g^/"
                            "*** Near : undefined-x}"},
  });
  run("system: make object! [state: make object! [stack-trace: 2 source-files: [\"a.kaz\"]]]");
  expect_cases({
      {"e: try/keep [f] reduce [e/stack e/files]", "[[f g] [\"a.kaz\"]]"},
      {"form try/keep [f]", "{*** Script Error: undefined-x has no value^/*** Where: g^/"
                            "*** Near : undefined-x^/*** Stack: f g}"},
  });
  run("system: make object! [state: make object! [stack-trace: 0]]");
  EXPECT_EQ(run("form try/keep [f]"),
            "{*** Script Error: undefined-x has no value^/*** Where: g^/*** Near : undefined-x}");
  run("unset 'system");
}

TEST_F(Errors, MoldAndPaths) {
  EXPECT_EQ(run("e: make error! [script no-value arg1: 'x] mold e"),
            "{make error! [^/    code: 300^/    type: 'script^/    id: 'no-value^/    arg1: none"
            "^/    arg2: none^/    arg3: none^/    near: none^/    where: none^/    stack: none"
            "^/    files: none^/]}");
  expect_cases({
      {"e: make error! 300 e/arg1: 'q e/stack: 1 reduce [e/arg1 e/stack]", "[q 1]"},
      {"e/nonsense", "!! script invalid-path"},
      {"equal? make error! 300 make error! 300", "true"},
      {"equal? make error! 300 make error! 301", "false"},
      {"equal? make error! 300 make object! [code: 300]", "false"},
      {"do make error! 902", "!! internal no-memory"},
  });
}

TEST_F(Errors, TheCatalogueHoldsEveryCategory) {
  cell c = *error::catalog();
  stack::push(&c);
  EXPECT_EQ(text_of(&c).substr(0, 40), "make object! [\n    throw: make object! [");
  std::string words;
  for (uint32_t i = 0; i < context::size(c.data1); ++i) {
    cell w;
    context::word_at(c.data1, i, &w);
    words += (i ? " " : "") + text_of(&w);
  }
  EXPECT_EQ(words, "throw note syntax script math access reserved1 reserved2 user internal");
  cell script = context::values(c.data1)[3];
  EXPECT_EQ(context::size(script.data1), 2u + 94u);
  EXPECT_EQ(text_of(context::values(script.data1) + 1), "\"Script Error\"");
  EXPECT_EQ(text_of(context::values(script.data1) + 2), "[:arg1 \"has no value\"]");
  stack::drop_values(1);
}

}  // namespace
}  // namespace kaz::testing

// The word family and issue!: conversions, text, comparison and index?.
#include <gtest/gtest.h>

#include "core/words.h"
#include "kaz_session.h"

namespace kaz::testing {
namespace {

using Words = Session;

TEST_F(Words, ConversionsKeepBindingOrReadText) {
  expect_cases({
      {"a: 1 w: to set-word! 'a reduce [w get w]", "[a: 1]"},
      {"form to set-word! 'a", "\"a\""},
      {"o: make object! [a: 2] w: to get-word! in o 'a get w", "2"},
      {"to word! \"foo\"", "foo"},
      {"to lit-word! \"foo\"", "'foo"},
      {"to refinement! 'a", "/a"},
      {"to word! #\"x\"", "x"},
      {"to word! #abc", "abc"},
      {"to word! /abc", "abc"},
      {"to word! integer!", "integer!"},
      {"to word! false", "false"},
      {"to word! \"123\"", "!! script invalid-chars"},
      {"to word! \"a b\"", "!! script invalid-chars"},
      {"to word! \"a:b\"", "!! script invalid-chars"},
      {"to word! \"\"", "!! script invalid-chars"},
      {"to word! #123", "!! script bad-to-arg"},
      {"to word! 1", "!! script bad-to-arg"},
      {"to issue! \"a b\"", "#a b"},
      {"to issue! 'abc", "#abc"},
      {"to issue! #\"q\"", "#q"},
      {"make issue! integer!", "#integer!"},
  });
  EXPECT_EQ(run("to word! #123", answer::molded, true),
            "*** Script Error: cannot MAKE/TO word! from: #123\n*** Where: to\n"
            "*** Near : to word! #123");
  EXPECT_EQ(run("to word! \"123\"", answer::molded, true),
            "*** Script Error: contains invalid characters\n*** Where: to\n"
            "*** Near : to word! \"123\"");
}

TEST_F(Words, TextAndComparison) {
  expect_cases({
      {"mold [w s: 'l :g /r #i]", "\"[w s: 'l :g /r #i]\""},
      {"form [w s: 'l :g /r #i]", "\"w s l g r i\""},
      {"equal? 'a to set-word! 'A", "true"},
      {"strict-equal? 'a to set-word! 'a", "false"},
      {"strict-equal? 'a 'a", "true"},
      {"strict-equal? 'a 'A", "false"},
      {"equal? #a 'a", "false"},
      {"equal? 'a #a", "false"},
      {"equal? #a #A", "true"},
      {"lesser? 'a 'b", "true"},
      {"lesser? 'B 'a", "false"},
      {"same? 'a 'a", "true"},
      {"o: make object! [a: 1] same? 'a in o 'a", "false"},
  });
}

TEST_F(Words, IndexOfABoundWord) {
  EXPECT_EQ(run("o: make object! [x: 1 y: 2 z: 3] index? in o 'z"), "3");
  // `self` bound in an object has no index.
  run("w: none");
  cell o, w, self_word;
  context::intern_global(symbol::make("o"), &o);
  context::intern_global(symbol::make("w"), &w);
  self_word = cell{type::word, context::get_value(&o)->data1, words::sym.self, context::unresolved};
  context::set_value(&w, &self_word);
  EXPECT_EQ(run("index? w"), "none");
}

}  // namespace
}  // namespace kaz::testing

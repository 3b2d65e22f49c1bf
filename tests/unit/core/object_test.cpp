// Objects: what the language cannot reach yet (the language-level cases are in
// tests/scripts/core/objects.kaz).
#include <gtest/gtest.h>

#include "../support/session.h"
#include "core/context.h"
#include "core/object.h"
#include "core/object_internal.h"
#include "core/ownership.h"
#include "core/typeset.h"
#include "core/words.h"

namespace kaz::testing {
namespace {

class Objects : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { boot(); }
};

TEST_F(Objects, CopyWithTypesCopiesOnlyThoseValues) {
  stack::saved_state saved = stack::save();
  run("p: make object! [b: [x] s: \"t\" inner: make object! [c: [y]]]");
  cell* p = stack::reserve_cell();
  cell w;
  context::intern_global(symbol::make("p"), &w);
  *p = *context::get_value(&w);
  cell types;
  typeset::clear(&types);
  typeset::add(&types, type::string);
  typeset::add(&types, type::object);
  cell* copy = stack::reserve_cell();
  object::copy_context(p, copy, true, &types, true);
  auto field = [](const cell* o, const char* name) {
    cell k{type::word, 0, symbol::make(name), 0};
    cell v;
    object::select_word(o, &k, &v);
    return v;
  };
  EXPECT_EQ(field(copy, "b").data2, field(p, "b").data2);  // block! not in the types
  EXPECT_NE(field(copy, "s").data2, field(p, "s").data2);
  cell ci = field(copy, "inner"), pi = field(p, "inner");
  EXPECT_NE(ci.data1, pi.data1);                            // nested objects copied too
  EXPECT_EQ(field(&ci, "c").data2, field(&pi, "c").data2);  // but not their blocks

  // An object met again inside itself cannot be copied this way.
  run("p/inner/c: p");
  *p = *context::get_value(&w);
  EXPECT_THROW(object::copy_context(p, copy, true, &types, true), language_error);
  EXPECT_EQ(error::id_name(&error::in_flight), "no-cycle");
  stack::unwind_to(saved);
}

TEST_F(Objects, OnDeepChangeHearsOfOwnedSeries) {
  run("log: none o: make object! [b: [1 2] on-deep-change*: func [o w t a n i p] "
      "[log: reduce [w a :n i p]]]");
  EXPECT_EQ(run("reflect o 'owner"), "true");
  object::install_deep_change_handler();  // another suite may have put its own in
  stack::saved_state saved = stack::save();
  cell* b = stack::reserve_cell();
  lexer::load_text_block("o/b", b);
  interp::cursor c(b);
  ASSERT_EQ(interp::eval_expression(c, false), flow::normal);
  cell series = *stack::last_value();
  cell action = words::word.appended;
  cell now{type::integer, 0, 3, 0};
  EXPECT_TRUE(ownership::check(&series, &action, &now, 2, 1));
  EXPECT_EQ(run("log"), "[b appended 3 2 1]");
  stack::unwind_to(saved);
}

}  // namespace
}  // namespace kaz::testing

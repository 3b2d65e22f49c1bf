// Objects: what the language cannot reach yet (the language-level cases are in
// tests/scripts/core/objects.kaz).
#include <gtest/gtest.h>

#include "core/object.h"
#include "core/object_internal.h"
#include "core/typeset.h"
#include "core/words.h"
#include "kaz_session.h"
#include "memory/ownership.h"

namespace kaz::testing {
namespace {

using Objects = Session;

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

TEST_F(Objects, SetWithSomeSkipsNoneValues) {
  stack::saved_state saved = stack::save();
  run("o: make object! [a: 1 b: 2]");
  cell w;
  context::intern_global(symbol::make("o"), &w);
  cell o = *context::get_value(&w);
  stack::push(&o);
  run("v: reduce [none 5]");
  cell vw;
  context::intern_global(symbol::make("v"), &vw);
  cell* values = stack::push(context::get_value(&vw));
  object::set_values(&o, values, false, false, true);
  EXPECT_EQ(run("reduce [o/a o/b]"), "[1 5]");
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
  expect_cases({
      {"p: make object! [b: [1]] modify p 'owner none reflect p 'owner", "true"},
      {"modify p 'owned none reflect p 'owner", "false"},
      {"modify p 'owned [b] reflect p 'owner", "true"},
  });
}

TEST_F(Objects, MoldAndFormWriteTheFields) {
  expect_cases({
      {"mold make object! [a: 1 b: \"x\" c: [d e] f: 'g]",
       "{make object! [^/    a: 1^/    b: \"x\"^/    c: [d e]^/    f: 'g^/]}"},
      {"form make object! [a: 1 b: 'g]", "\"a: 1^/b: 'g\""},
      {"mold make object! []", "\"make object! []\""},
      {"mold make object! [a: make object! [b: 1]]",
       "{make object! [^/    a: make object! [^/        b: 1^/    ]^/]}"},
      {"o: make object! [a: 1] o/a: o mold o", "\"make object! [^/    a: make object! [...]^/]\""},
      {"mold make object! [a: 1 on-change*: func [w o n] []]", "\"make object! [^/    a: 1^/]\""},
  });
  // /flat and /part through the slot (the natives' refinement arguments are checked in C++).
  stack::saved_state saved = stack::save();
  run("o: make object! [a: 1 b: [2 3] on-change*: func [w o n] []]");
  cell w;
  context::intern_global(symbol::make("o"), &w);
  cell o = *context::get_value(&w);
  stack::push(&o);
  auto molded = [&](bool all, bool flat, int32_t part) {
    cell buffer;
    string::make_at(&buffer, 16);
    cell* held = stack::push(&buffer);
    cell limit{type::integer, 0, static_cast<uint32_t>(part), 0};
    actions::mold(&o, held, false, all, flat, part >= 0 ? &limit : nullptr,
                  part >= 0 ? part : 0x7FFFFFFF, 0);
    return string::to_utf8(held);
  };
  EXPECT_EQ(molded(false, true, -1), "make object! [a: 1 b: [2 3]]");
  EXPECT_EQ(molded(true, true, -1).substr(0, 42), "make object! [a: 1 b: [2 3] on-change*: fu");
  EXPECT_EQ(molded(false, true, 16), "make object! [a: 1]");  // no field once the limit is used
  stack::unwind_to(saved);
}

}  // namespace
}  // namespace kaz::testing

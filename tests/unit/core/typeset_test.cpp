// Typesets from C++: the default, the set operations and limited text (the language-level
// cases are in tests/scripts/core/typesets.kaz).
#include <gtest/gtest.h>

#include "core/context.h"
#include "core/typeset.h"
#include "core/words.h"
#include "../support/session.h"

namespace kaz::testing {
namespace {

class Typesets : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { boot(); }
};

TEST_F(Typesets, ComplementAndTheDefaultCoverEveryType) {
  std::string all = "make typeset! [";
  for (uint32_t t = 1; t <= registry::highest_id(); ++t) {
    all += registry::name(t);
    all += t < registry::highest_id() ? " " : "]";
  }
  EXPECT_EQ(run("complement make typeset! []"), all);
  cell def;
  typeset::make_default(&def);
  EXPECT_FALSE(typeset::has(&def, type::unset));
  EXPECT_TRUE(typeset::has(&def, type::integer) && typeset::has(&def, type::event));
  EXPECT_EQ(typeset::count_types(&def), registry::highest_id() - 1);
  // Every bit but unset!'s: the complement of the typeset of unset! alone.
  cell only_unset;
  typeset::clear(&only_unset);
  typeset::add(&only_unset, type::unset);
  EXPECT_EQ(def.data1, ~only_unset.data1);
  EXPECT_EQ(def.data2, ~only_unset.data2);
  EXPECT_EQ(def.data3, ~only_unset.data3);
}

TEST_F(Typesets, SetOperations) {
  stack::saved_state saved = stack::save();
  auto typeset_of = [](std::initializer_list<uint32_t> ids) {
    cell ts;
    typeset::clear(&ts);
    for (uint32_t t : ids) typeset::add(&ts, t);
    return ts;
  };
  auto operate = [&](int32_t code, cell a, cell b) {
    stack::open_native_frame(&words::word.body_);
    stack::push(&a);
    stack::push(&b);
    typeset::set_operation(code);
    cell r = *stack::arguments;
    stack::close_frame_dropping();
    return r;
  };
  cell ib = typeset_of({type::integer, type::block});
  cell bs = typeset_of({type::block, type::string});
  cell dt{type::datatype_, type::string, 0, 0};
  struct {
    int32_t code;
    cell second;
    const char* text;
  } cases[] = {
      {5, bs, "make typeset! [block! string! integer!]"},
      {9, dt, "make typeset! [block! string! integer!]"},
      {6, bs, "make typeset! [block!]"},
      {10, bs, "make typeset! [block!]"},
      {7, bs, "make typeset! [string! integer!]"},
      {12, bs, "make typeset! [string! integer!]"},
      {11, bs, "make typeset! [integer!]"},
      {8, dt, "make typeset! [block! integer!]"},
  };
  for (auto& c : cases) {
    cell r = operate(c.code, ib, c.second);
    EXPECT_EQ(molded(&r), c.text) << c.code;
  }
  cell one{type::integer, 0, 1, 0};
  EXPECT_THROW(operate(5, ib, one), language_error);
  stack::unwind_to(saved);

  cell block_cell;
  typeset::to_block(&ib, &block_cell);
  EXPECT_EQ(molded(&block_cell), "[block! integer!]");
}

}  // namespace
}  // namespace kaz::testing

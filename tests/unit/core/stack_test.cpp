// The evaluation stack: the frame protocol and its limits (the exits are tested in
// tests/scripts/core/exits.kaz).
#include <gtest/gtest.h>

#include "core/context.h"
#include "core/object.h"
#include "core/stack.h"
#include "core/words.h"
#include "../support/session.h"

namespace kaz::testing {
namespace {

class Frames : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { boot(); }
};

cell integer(int32_t n) { return cell{type::integer, 0, static_cast<uint32_t>(n), 0}; }
int32_t value_at(const cell* c) { return static_cast<int32_t>(c->data2); }

TEST_F(Frames, ClosesKeepCopyOrDropTheResult) {
  stack::saved_state saved = stack::save();
  const cell* name = &words::word.body_;
  stack::open_native_frame(name);  // the caller: its result slot is its base
  cell* caller = stack::arguments;
  cell zero = integer(0);
  stack::push(&zero);

  struct {
    void (*close)();
    int32_t top_after;  // cells above the callee's base after closing
    bool copied;        // whether the caller's result slot got the callee's result
  } cases[] = {
      {stack::close_frame, 1, false},
      {stack::close_frame_dropping, 0, false},
      {stack::close_frame_to_result, 1, true},
      {stack::close_any_frame, 0, false},
  };
  for (auto& c : cases) {
    *caller = zero;
    stack::top = caller + 1;
    stack::open_native_frame(name);
    cell* base = stack::arguments;
    EXPECT_EQ(base, caller + 1);
    cell r = integer(7), extra = integer(8);
    stack::push(&r);
    stack::push(&extra);
    c.close();
    EXPECT_EQ(stack::arguments, caller);
    EXPECT_EQ(stack::top - base, c.top_after);
    EXPECT_EQ(value_at(caller), c.copied ? 7 : 0);
    if (c.top_after) {
      EXPECT_EQ(value_at(base), 7);
    }
  }
  stack::unwind_to(saved);
}

TEST_F(Frames, FunctionFramesGiveBackTheOuterValues) {
  stack::saved_state saved = stack::save();
  cell* o = stack::reserve_cell();
  object::make_empty_at(o, 1);  // any context will do
  node_t ctx = o->data1;
  uint32_t outer = context::header_cell(ctx)->data2;
  void (*closes[])() = {stack::close_function_frame, stack::close_function_frame_dropping,
                        stack::close_function_frame_to_result, stack::close_any_frame};
  for (auto close : closes) {
    stack::open_function_frame(&words::word.body_, ctx);
    context::header_cell_rw(ctx)->data2 = 12345;  // an inner activation's values
    stack::push_none();
    close();
    EXPECT_EQ(context::header_cell(ctx)->data2, outer);
  }
  stack::unwind_to(saved);
}

TEST_F(Frames, TheBottomFrameClosesToTheStackBottom) {
  stack::saved_state saved = stack::save();
  ASSERT_EQ(stack::frame_top, stack::frame_bottom);
  cell v = integer(1);
  stack::push(&v);
  stack::open_native_frame(&words::word.body_);
  stack::push(&v);
  stack::close_any_frame();
  EXPECT_EQ(stack::top, stack::bottom);
  EXPECT_EQ(stack::arguments, stack::bottom);
  stack::unwind_to(saved);
}

TEST_F(Frames, ValueStackOverflowLeavesRoomForTheError) {
  stack::saved_state saved = stack::save();
  cell v = integer(1);
  cell* before = nullptr;
  try {
    for (;;) {
      before = stack::top;
      stack::push(&v);
    }
  } catch (const language_error& e) {
    EXPECT_EQ(e.id, err::internal_stack_overflow);
    EXPECT_EQ(before - stack::bottom, static_cast<ptrdiff_t>(stack::value_capacity) - 1);
    // Four cells below where the failing push started, plus the error pushed by fire.
    EXPECT_EQ(stack::top - before, -4 + 1);
  }
  stack::unwind_to(saved);
  EXPECT_EQ(run("1 + 1"), "2");
}

TEST_F(Frames, FrameStackOverflowIsTheSameError) {
  stack::saved_state saved = stack::save();
  ptrdiff_t opened = 0;
  try {
    for (;;) {
      stack::open_native_frame(&words::word.body_);
      ++opened;
    }
  } catch (const language_error& e) {
    EXPECT_EQ(e.id, err::internal_stack_overflow);
  }
  EXPECT_EQ(opened + (saved.frame_top - stack::frame_bottom),
            static_cast<ptrdiff_t>(stack::frame_capacity));
  stack::unwind_to(saved);
  // Deep recursion is caught by try, and the stacks are usable afterwards.
  EXPECT_EQ(run("f: func [n] [f n + 1] e: try [f 1] reduce [type? e e/id]"),
            "[error! stack-overflow]");
  EXPECT_EQ(stack::frame_top, saved.frame_top);
  EXPECT_EQ(run("g: func [n] [either n < 1 [0] [1 + g n - 1]] g 1000"), "1000");
}

}  // namespace
}  // namespace kaz::testing

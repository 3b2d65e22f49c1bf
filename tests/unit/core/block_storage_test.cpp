// Block storage: accessors, making and filling blocks, copies and the two value searches.
#include "../support/session.h"
#include "datatypes/simple_types.h"

namespace kaz {
namespace {

class BlockStorage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::boot(); }
  void SetUp() override { saved_ = stack::save(); }
  void TearDown() override { stack::unwind_to(saved_); }
  stack::saved_state saved_;
};

TEST_F(BlockStorage, HeadPastTheTail) {
  cell* b = testing::eval("[1 2 3]");
  b->data1 = 5;
  EXPECT_EQ(block::rs_length(b), -2);
  EXPECT_FALSE(block::rs_tail_q(b));
  EXPECT_EQ(block::length_from_head(b), 0u);
  EXPECT_EQ(block::rs_head(b), block::rs_tail(b));
  EXPECT_EQ(b->data1, 3u);
  EXPECT_TRUE(block::rs_tail_q(b));
  b->data1 = 1;
  EXPECT_FALSE(block::advance_one(b));
  EXPECT_TRUE(block::advance_one(b));
  EXPECT_TRUE(block::advance_one(b));
  EXPECT_EQ(b->data1, 3u);
  b->data1 = 1;
  block::clear_from_head(b);
  EXPECT_EQ(testing::molded(b), "[]");
  b->data1 = 0;
  EXPECT_EQ(testing::molded(b), "[1]");
}

TEST_F(BlockStorage, MakingBlocks) {
  cell* b = block::push_only(0);
  EXPECT_EQ(block::rs_length(b), 0);
  EXPECT_EQ(block::buffer_of(b)->size, 16u);
  cell c{type::integer, 0, 0, 0};
  block::init_cell_with_mode(&c, 3, false);
  EXPECT_EQ(type_of(block::rs_abs_at(&c, 2)), type::unset);
  cell* parent = testing::eval("[x]");
  cell* fixed = block::new_in_parent(parent, 4);
  EXPECT_TRUE(block::buffer_of(fixed)->flags & series_flag::fixed);
  EXPECT_EQ(block::rs_length(parent), 2);
  cell* held = block::new_in_container(nullptr, 2);
  block::append_copy(held, &true_value);
  EXPECT_EQ(testing::molded(held), "[true]");
  EXPECT_EQ(type_of(block::push_value(&none_value)), type::none);
}

TEST_F(BlockStorage, Inserting) {
  cell* b = testing::eval("[a]");
  cell one{type::integer, 0, 1, 0}, two{type::integer, 0, 2, 0};
  b->data1 = 1;  // at the tail: an append
  block::insert_value(b, &one, false, false);
  EXPECT_EQ(testing::molded(b), "[1]");
  b->data1 = 0;
  block::insert_value(b, &one, true, false);
  block::insert_value(b, &two, true, false);
  b->data1 = 0;
  EXPECT_EQ(testing::molded(b), "[1 2 a 1]");
  block::insert_value(b, &two, false, true);
  EXPECT_EQ(testing::molded(b), "[2 1 2 a 1]");
  cell* src = testing::eval("[x y]");
  b->data1 = 1;
  block::insert_cells(b, src);
  EXPECT_EQ(b->data1, 3u);
  b->data1 = 0;
  EXPECT_EQ(testing::molded(b), "[2 x y 1 2 a 1]");
  block::append_cells(b, b);  // from itself
  EXPECT_EQ(block::rs_length(b), 14);
  // The stack forms: the first argument and the block just below it.
  cell* target = testing::eval("[q]");
  cell* args = stack::push(&one);
  stack::push(&two);
  cell* saved_args = stack::arguments;
  stack::arguments = args;
  block::insert_argument();
  block::append_top();
  stack::arguments = target;
  block::append_argument();  // the value after the block: the integer 1
  stack::arguments = saved_args;
  target->data1 = 0;
  EXPECT_EQ(testing::molded(target), "[1 q 1 1]");
}

TEST_F(BlockStorage, Copies) {
  cell* b = testing::eval("[[\n 1] (p) x]");
  cell* shallow = block::copy_cells(b, false, false);
  EXPECT_EQ(block::rs_abs_at(shallow, 0)->data2, block::rs_abs_at(b, 0)->data2);
  cell* deep = block::copy_cells(b, true, false);
  EXPECT_NE(block::rs_abs_at(deep, 0)->data2, block::rs_abs_at(b, 0)->data2);
  EXPECT_EQ(block::rs_abs_at(deep, 1)->data2, block::rs_abs_at(b, 1)->data2);  // the paren
  cell* with_paths = block::copy_cells(b, true, true);
  EXPECT_NE(block::rs_abs_at(with_paths, 1)->data2, block::rs_abs_at(b, 1)->data2);
  EXPECT_EQ(testing::molded(deep), "[[\n    1\n] (p) x]");
  cell* p = testing::eval("to paren! [1]");
  p->header |= new_line_flag;
  EXPECT_EQ(block::copy_cells(p, false, false)->header, uint32_t(type::paren));
}

TEST_F(BlockStorage, Searches) {
  cell* b = testing::eval("[/a 1 A: 2 a 3 x]");
  EXPECT_EQ(testing::molded(block::select_word(b, symbol::make("a"), false)), "2");
  EXPECT_EQ(testing::molded(block::select_word(b, symbol::make("a"), true)), "3");
  EXPECT_EQ(block::select_word(b, symbol::make("x"), false), nullptr);
  EXPECT_EQ(block::select_word(b, symbol::make("zz"), false), nullptr);
  cell three{type::integer, 0, 3, 0};
  EXPECT_EQ(testing::molded(block::select_after(b, &three)), "x");
  cell* nums = testing::eval("[1 2 3 2]");
  cell two{type::integer, 0, 2, 0};
  nums->data1 = 2;
  EXPECT_EQ(block::remove_value(nums, &two, false), 0);  // after the head
  EXPECT_EQ(block::remove_value(nums, &two, true), 1);   // before it
  nums->data1 = 0;
  EXPECT_EQ(testing::molded(nums), "[1 3]");
  EXPECT_EQ(block::remove_value(nums, &two, true), 0);
  EXPECT_EQ(block::select_after(nums, &three), nullptr);
}

}  // namespace
}  // namespace kaz

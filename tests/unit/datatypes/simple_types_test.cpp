// The builders and truth tests of the simple types, below the language.
#include "../support/session.h"
#include "datatypes/simple_types.h"

namespace kaz {
namespace {

class SimpleTypes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::boot(); }
};

TEST_F(SimpleTypes, BuildersAndTruthTests) {
  stack::saved_state saved = stack::save();
  cell* base = stack::top;
  stack::arguments = base;
  stack::push_none();
  EXPECT_EQ(logic_type::box(7)->data1, 1u);  // a boxed logic is always 0 or 1
  EXPECT_EQ(type_of(base), type::logic);
  EXPECT_FALSE(logic_type::result_false());
  logic_type::box(0);
  EXPECT_TRUE(logic_type::result_false());
  EXPECT_EQ(logic_type::push(0)->data1, 0u);
  EXPECT_TRUE(logic_type::stack_top_false());
  datatype_type::push(type::block);
  EXPECT_TRUE(logic_type::stack_top_true());
  unset_type::push_value();
  EXPECT_TRUE(logic_type::stack_top_true());  // unset! counts as true
  EXPECT_TRUE(logic_type::true_test(&true_value, false, nullptr));
  EXPECT_FALSE(logic_type::true_test(&none_value, false, nullptr));
  cell odd{type::logic, 2, 0, 0};
  EXPECT_FALSE(logic_type::true_test(&odd, false, nullptr));  // only 1 is true
  cell word{type::word, 0, symbol::make("x"), 0};
  EXPECT_THROW(logic_type::true_test(&unset_value, true, &word), language_error);
  EXPECT_EQ(type_of(none_type::set_result()), type::none);
  EXPECT_EQ(type_of(unset_type::set_result()), type::unset);
  cell* b = block::push_only(1);
  none_type::append_to_block(b);
  logic_type::append_to_block(b, 1);
  datatype_type::append_to_block(b, type::integer);
  unset_type::append_to_block(b);
  EXPECT_EQ(testing::molded(b), "[none true integer! unset]");
  stack::unwind_to(saved);
}

}  // namespace
}  // namespace kaz

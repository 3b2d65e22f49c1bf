// datatype!, unset!, none! and logic!: conversions, text, comparison, builders and truth tests.
#include <cmath>

#include "../support/session.h"
#include "datatypes/simple_types.h"

namespace kaz {
namespace {

using testing::check_all;

class SimpleTypes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::boot(); }
};

TEST_F(SimpleTypes, DatatypesFormMoldAndCompare) {
  check_all({
      {"form block!", "\"block\""},
      {"mold block!", "\"block!\""},
      {"mold/all block!", "\"#(block!)\""},
      {"equal? block! block!", "true"},
      {"equal? block! paren!", "false"},
      {"not-equal? block! paren!", "true"},
      {"same? integer! integer!", "true"},
      {"equal? block! 1", "false"},
      {"lesser? block! paren!", "!! script invalid-compare"},
      {"make datatype! 1", "!! script expect-arg"},
  });
}

TEST_F(SimpleTypes, UnsetAndNone) {
  check_all({
      {"form make unset! 0", "\"\""},
      {"mold make unset! 0", "\"unset\""},
      {"mold/all make unset! 0", "\"#(unset)\""},
      {"type? to unset! 1", "unset!"},
      {"equal? make unset! 0 make unset! 1", "true"},
      {"lesser? make unset! 0 make unset! 1", "!! script invalid-compare"},
      {"form none", "\"none\""},
      {"mold/all none", "\"#(none)\""},
      {"make none! [1 2]", "none"},
      {"equal? none none", "true"},
      {"equal? none 0", "false"},
      {"lesser? none none", "!! script invalid-compare"},
      // The series actions of none! answer none.
      {"length? none", "none"},
      {"find none 1", "none"},
      {"select none 1", "none"},
      {"take none", "none"},
      {"remove none", "none"},
      {"clear none", "none"},
      {"append none 1", "!! script expect-arg"},
  });
}

TEST_F(SimpleTypes, LogicConversionsAndText) {
  check_all({
      {"make logic! 0", "false"},
      {"make logic! 2", "true"},
      {"make logic! -1", "true"},
      {"to logic! 0", "true"},
      {"to logic! none", "false"},
      {"make logic! none", "false"},
      {"make logic! \"x\"", "true"},
      {"to logic! false", "false"},
      {"form true", "\"true\""},
      {"mold false", "\"false\""},
      {"mold/all true", "\"#(true)\""},
      {"mold/all false", "\"#(false)\""},
  });
}

TEST_F(SimpleTypes, LogicComparisonAndBitwise) {
  check_all({
      {"equal? true true", "true"},
      {"equal? true 1", "false"},
      {"lesser? true false", "false"},
      {"lesser? false true", "true"},
      {"greater-or-equal? true true", "true"},
      {"true and false", "false"},
      {"true or false", "true"},
      {"true xor true", "false"},
      {"complement true", "false"},
      {"complement false", "true"},
      {"true and 1", "!! script expect-arg"},
  });
  EXPECT_EQ(testing::run("e: try [true and 1] e/arg2"), "integer!");
}

// A float! spec makes false only for zero (either sign); NaN makes true.
TEST_F(SimpleTypes, LogicFromFloats) {
  for (double d : {0.0, -0.0, 1.5, std::nan("")}) {
    cell f{type::float_, 0, 0, 0};
    put_double(&f, d);
    cell proto{type::datatype_, type::logic, 0, 0};
    cell* r = registry::row(type::logic).make(&proto, &f, type::logic);
    EXPECT_EQ(r->data1, d == 0.0 ? 0u : 1u) << d;
  }
}

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

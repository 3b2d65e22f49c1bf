// money!: the cell makers the lexer uses and the orderings of sort (the language-level cases are
// in cases/money.kaz).
#include "scalar_harness.h"

namespace kaz::scalar_test {
namespace {

using Money = Scalars;

TEST_F(Money, CellsFromDigitText) {
  cell c{};
  EXPECT_FALSE(money_type::init_cell_from_digits(&c, false, "", "123456789012345678", ""));
  EXPECT_FALSE(money_type::init_cell_from_digits(&c, false, "XYZ", "1", ""));
  EXPECT_FALSE(money_type::init_cell_from_digits(&c, false, "", "1a", ""));
  EXPECT_TRUE(money_type::init_cell_from_digits(&c, false, "", "000000000000000000001", "5"));
  EXPECT_EQ(molded(&c), "$1.50");
  EXPECT_TRUE(money_type::init_cell_from_digits(&c, true, "eur", "1'000", "123456"));
  EXPECT_EQ(molded(&c, true), "-EUR$1000.12345");
  EXPECT_TRUE(money_type::init_cell_from_digits(&c, false, "", "99999999999999999", "99999"));
  EXPECT_EQ(molded(&c, true), "$99999999999999999.99999");
  EXPECT_EQ(money_type::currency_index("usd"), money_type::currency_index("USD"));
  EXPECT_EQ(money_type::currency_index("AED"), 1);
  EXPECT_EQ(money_type::currency_index("ZMW"), 170);
  EXPECT_EQ(money_type::currency_index("US"), -1);
}

TEST_F(Money, SortOrdersByCurrencyThenAmount) {
  // No currency first, then currencies by their codes, then amounts.
  const char* ordered[] = {"-$5", "$1", "$5", "EUR$1", "EUR$2", "-USD$1", "USD$1"};
  std::vector<cell> v;
  for (const char* t : ordered) v.push_back(money_value(t));
  for (size_t i = 0; i + 1 < v.size(); ++i) {
    EXPECT_LT(actions::compare_direct(&v[i], &v[i + 1], actions::op::sort), 0) << ordered[i];
    EXPECT_GT(actions::compare_direct(&v[i + 1], &v[i], actions::op::case_sort), 0) << ordered[i];
  }
}

}  // namespace
}  // namespace kaz::scalar_test

// money!: text, currencies, make and to, exact arithmetic, comparison, rounding and errors.
#include "scalar_harness.h"

namespace kaz::scalar_test {
namespace {

using Money = Scalars;

TEST_F(Money, Text) {
  struct {
    const char* value;
    const char* mold;
    const char* mold_all;
    const char* form;
  } cases[] = {
      {"$1234.5", "$1234.50", "$1234.50000", "$1'234.50"},
      {"-EUR$12", "-EUR$12.00", "-EUR$12.00000", "-EUR$12.00"},
      {"-$0", "$0.00", "$0.00000", "$0.00"},
      {"$1234567.891", "$1234567.89", "$1234567.89100", "$1'234'567.89"},
      {"$0.00001", "$0.00", "$0.00001", "$0.00"},
      {"usd$99999999999999999.99999", "USD$99999999999999999.99", "USD$99999999999999999.99999",
       "USD$99'999'999'999'999'999.99"},
      {"$123", "$123.00", "$123.00000", "$123.00"},
  };
  for (auto& c : cases) {
    cell m = money_value(c.value);
    EXPECT_EQ(molded(&m), c.mold) << c.value;
    EXPECT_EQ(molded(&m, true), c.mold_all) << c.value;
    EXPECT_EQ(formed(&m), c.form) << c.value;
  }
  cell c{};
  EXPECT_FALSE(money_type::init_cell_from_digits(&c, false, "", "123456789012345678", ""));
  EXPECT_FALSE(money_type::init_cell_from_digits(&c, false, "XYZ", "1", ""));
  EXPECT_TRUE(money_type::init_cell_from_digits(&c, false, "", "000000000000000000001", "5"));
  EXPECT_EQ(molded(&c), "$1.50");
  EXPECT_TRUE(money_type::init_cell_from_digits(&c, false, "", "1'000", "123456"));
  EXPECT_EQ(molded(&c, true), "$1000.12345");
}

TEST_F(Money, MakeAndTo) {
  set("f", float_value(12.5));
  set("g", float_value(0.000001));
  set("h", float_value(1e17));
  set("k", float_value(1.15));
  set("w", float_value(1.00005));
  expect_all({
      {"make money! 'usd", "USD$0.00"},
      {"make money! 'xyz", "!! script bad-make-arg"},
      {"make money! [USD 12 34]", "USD$12.00"},
      {"mold/all make money! [USD 12 34]", "\"USD$12.00034\""},
      {"mold/all make money! [-12 34]", "\"-$12.00034\""},
      {"make money! [eur 5]", "EUR$5.00"},
      {"make money! reduce ['gbp f]", "GBP$12.50"},
      {"make money! [USD]", "!! script bad-make-arg"},
      {"make money! []", "!! script bad-make-arg"},
      {"make money! [12 100000]", "!! script bad-make-arg"},
      {"make money! [12 -1]", "!! script bad-make-arg"},
      {"make money! [12 1 2]", "!! script bad-make-arg"},
      {"make money! reduce [f 1]", "!! script bad-make-arg"},
      {"make money! [xyz 1]", "!! script bad-make-arg"},
      {"to money! 42", "$42.00"},
      {"to money! -2147483648", "-$2147483648.00"},
      {"to money! f", "$12.50"},
      {"to money! k", "$1.15"},
      {"mold/all to money! w", "\"$1.00005\""},
      {"to money! g", "!! script bad-make-arg"},
      {"to money! h", "!! script bad-make-arg"},
      {"to money! none", "!! script bad-to-arg"},
      {"to money! [1]", "!! script bad-to-arg"},
  });
  set("w", float_value(1.0000051));
  EXPECT_EQ(run("to money! w"), "!! script bad-make-arg");
}

TEST_F(Money, Arithmetic) {
  set("a", money_value("$1"));
  set("b", money_value("$3"));
  set("u", money_value("USD$1"));
  set("e", money_value("EUR$1"));
  set("top", money_value("$99999999999999999.99999"));
  set("tiny", money_value("$0.00001"));
  set("half", float_value(0.5));
  expect_all({
      {"mold/all a / 3", "\"$0.33333\""},
      {"a * 3", "$3.00"},
      {"a * b", "!! script invalid-type"},
      {"a + 1", "$2.00"},
      {"a - b", "-$2.00"},
      {"a + half", "$1.50"},
      {"u + e", "!! script wrong-denom"},
      {"u + a", "USD$2.00"},
      {"a + u", "USD$2.00"},
      {"top + tiny", "!! script type-limit"},
      {"mold/all top - tiny", "\"$99999999999999999.99998\""},
      {"(negate top) - tiny", "!! script type-limit"},
      {"top * 2", "!! script type-limit"},
      {"top * -2", "!! script type-limit"},
      {"mold/all (to money! 123456789) * 1000", "\"$123456789000.00000\""},
      {"mold/all tiny * 3", "\"$0.00003\""},
      {"mold/all tiny / 2", "\"$0.00000\""},
      {"a / 0", "!! math zero-divide"},
      {"a % 0", "!! math zero-divide"},
      {"remainder (to money! 10) b", "$1.00"},
      {"remainder (to money! -10) b", "-$1.00"},
      {"remainder (to money! 10) -3", "$1.00"},
      {"absolute to money! -5", "$5.00"},
      {"negate a", "-$1.00"},
  });
  cell r;
  ASSERT_EQ(evaluate("a / b", &r), "");
  EXPECT_EQ(type_of(&r), type::float_);
  EXPECT_EQ(get_double(&r), 0.33333);
  EXPECT_EQ(evaluate("top / tiny", &r), "!! script type-limit");
  // A quotient that fits is no overflow however the digits of the operands fall.
  set("e16", money_value("$10000000000000000"));
  ASSERT_EQ(evaluate("e16 / make money! [0 99999]", &r), "");
  EXPECT_DOUBLE_EQ(get_double(&r), 10000100001000010.0001);
}

TEST_F(Money, Comparison) {
  set("a", money_value("$1"));
  set("u", money_value("USD$1"));
  set("e", money_value("EUR$1"));
  set("n", money_value("-$5"));
  set("z", money_value("$0"));
  set("tiny", float_value(1e-6));
  set("mtiny", float_value(-1e-6));
  set("big", float_value(1e20));
  set("mbig", float_value(-1e20));
  set("near", float_value(1.000001));
  set("one", float_value(1.0));
  expect_all({
      {"u = e", "false"},
      {"u < e", "!! script wrong-denom"},
      {"u = a", "true"},
      {"a < u", "false"},
      {"a = 1", "true"},
      {"a < 2", "true"},
      {"a = one", "true"},
      {"a < near", "true"},
      {"a = near", "false"},
      // A float finer or larger than money can hold still orders by both signs.
      {"n < tiny", "true"},
      {"a > tiny", "true"},
      {"z < tiny", "true"},
      {"z > mtiny", "true"},
      {"n < mtiny", "true"},
      {"a < big", "true"},
      {"a > mbig", "true"},
      {"n > mbig", "true"},
      {"a = \"x\"", "false"},
      {"a < \"x\"", "!! script invalid-compare"},
      {"strict-equal? a 1", "false"},
      {"(negate z) = z", "true"},
  });
}

TEST_F(Money, Rounding) {
  set("p", money_value("$2.5"));
  set("q", money_value("$3.5"));
  set("r", money_value("-$2.5"));
  set("s", money_value("-$2.7"));
  set("x", money_value("$1.23"));
  set("step", money_value("$0.05"));
  set("y", money_value("$1.225"));
  set("f", float_value(0.1));
  set("pc", cell{type::percent, 0, 0, 0});
  expect_all({
      {"round p", "$3.00"},
      {"round r", "-$3.00"},
      {"round/even p", "$2.00"},
      {"round/even q", "$4.00"},
      {"round/to x step", "$1.25"},
      {"round/down s", "-$2.00"},
      {"round/floor s", "-$3.00"},
      {"round/ceiling s", "-$2.00"},
      {"round/half-down p", "$2.00"},
      {"round/half-ceiling r", "-$2.00"},
      {"round/half-ceiling p", "$3.00"},
      // Ties at any scale: $1.225 is halfway between $1.20 and $1.25.
      {"round/even/to y step", "$1.20"},
      {"round/half-down/to y step", "$1.20"},
      {"round/to y step", "$1.25"},
      {"round/to x 1", "$1.00"},
      {"round/to x f", "$1.20"},
      {"round/to x 0", "$1.23"},
      {"round/to x pc", "!! script not-related"},
      {"even? p", "true"},
      {"odd? q", "true"},
  });
}

TEST_F(Money, PathsAndPick) {
  set("u", money_value("-USD$12.5"));
  set("a", money_value("$1"));
  expect_all({
      {"u/code", "USD"},
      {"u/amount", "-$12.50"},
      {"u/1", "USD"},
      {"u/2", "-$12.50"},
      {"a/code", "none"},
      {"pick u 1", "USD"},
      {"pick u 'amount", "-$12.50"},
      {"u/3", "!! script invalid-path"},
      {"u/cents", "!! script invalid-path"},
      {"u/code: 'eur", "!! script bad-path-set"},
      {"pick u 3", "!! script out-of-range"},
  });
  EXPECT_EQ(money_type::to_integer(&(const cell&)money_value("-$12.99")), -12);
  cell big = money_value("$3000000000");
  EXPECT_THROW(money_type::to_integer(&big), language_error);
  cell m = money_value("$0.1");
  EXPECT_EQ(money_type::to_float(&m), 0.1);
}

}  // namespace
}  // namespace kaz::scalar_test

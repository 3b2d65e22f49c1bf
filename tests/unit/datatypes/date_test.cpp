// date!: the entry points other parts of the runtime call (the language-level cases are in
// cases/date.kaz).
#include "scalar_harness.h"

namespace kaz::scalar_test {
namespace {

using Date = Scalars;

TEST_F(Date, CellsFromPartsAndDifferences) {
  // The local date and the UTC time are kept as given: 1:00+2:00 is stored as -1:00.
  cell d = date_value(2020, 1, 1, 3600, 120);
  EXPECT_EQ(get_double(&d), -3600.0);
  EXPECT_EQ(molded(&d), "1-Jan-2020/1:00:00+02:00");
  cell u{};
  date_type::init_cell_utc(&u, 2021, 6, 30, 23, 59, 58, 500000000);
  EXPECT_EQ(molded(&u), "30-Jun-2021/23:59:58.5");

  cell a = date_value(2020, 1, 2, 3600);
  cell b = date_value(2020, 1, 1, 82800);
  date_type::difference(&a, &b);
  EXPECT_EQ(molded(&a), "2:00:00");
  cell c = date_value(2020, 1, 1, 3600, 120);  // 31-Dec-2019/23:00 UTC
  cell e = date_value(2020, 1, 1);
  date_type::difference(&c, &e);
  EXPECT_EQ(molded(&c), "-1:00:00");

  cell out;
  cell late = date_value(2100, 1, 1);
  date_type::epoch_value(&late, &out);
  EXPECT_EQ(type_of(&out), type::float_);
  EXPECT_EQ(get_double(&out), 4102444800.0);
}

}  // namespace
}  // namespace kaz::scalar_test

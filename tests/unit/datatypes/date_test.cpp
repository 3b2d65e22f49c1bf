// date!: text, make and to, every field read and set, instants, day arithmetic, epoch seconds.
#include "scalar_harness.h"

namespace kaz::scalar_test {
namespace {

using Date = Scalars;

TEST_F(Date, Text) {
  struct {
    cell date;
    const char* text;
  } cases[] = {
      {date_value(2020, 1, 15), "15-Jan-2020"},
      {date_value(5, 3, 1), "1-Mar-0005"},
      {date_value(99, 1, 1), "1-Jan-0099"},
      {date_value(100, 1, 1), "1-Jan-100"},
      {date_value(-44, 1, 5), "5/Jan/-0044"},
      {date_value(2020, 1, 15, 37800, 60), "15-Jan-2020/10:30:00+01:00"},
      {date_value(2020, 1, 15, 37800), "15-Jan-2020/10:30:00"},
      {date_value(2020, 12, 31, 3600.5, -330), "31-Dec-2020/1:00:00.5-05:30"},
      {date_value(2020, 6, 1, 0, -30), "1-Jun-2020/0:00:00-00:30"},
  };
  for (auto& c : cases) {
    EXPECT_EQ(molded(&c.date), c.text);
    EXPECT_EQ(formed(&c.date), c.text);
  }
  // The local date and the UTC time are kept as given: 1:00+2:00 is stored as -1:00.
  cell d = date_value(2020, 1, 1, 3600, 120);
  EXPECT_EQ(get_double(&d), -3600.0);
  EXPECT_EQ(molded(&d), "1-Jan-2020/1:00:00+02:00");
}

TEST_F(Date, MakeChecksAndToNormalises) {
  expect_all({
      {"make date! [15 1 2020]", "15-Jan-2020"},
      {"make date! [2021 2 3]", "3-Feb-2021"},
      {"make date! [31 2 2021]", "!! script bad-to-arg"},
      {"to date! [31 2 2021]", "3-Mar-2021"},
      {"to date! [1 13 2020]", "1-Jan-2021"},
      {"to date! [1 0 2020]", "1-Dec-2019"},
      {"to date! [1 -11 2020]", "1-Jan-2019"},
      {"make date! [1 1 2020 10]", "1-Jan-2020/10:00:00"},
      {"make date! [1 1 2020 10 30]", "1-Jan-2020/10:30:00"},
      {"make date! [1 1 2020 10 30 15]", "1-Jan-2020/10:30:15"},
      {"make date! [1 1 2020 10 30 15 2]", "1-Jan-2020/10:30:15+02:00"},
      {"make date! [1 1 2020 10 30 15 -5 30]", "1-Jan-2020/10:30:15-05:30"},
      {"make date! [1 1 2020 24 0]", "!! script bad-to-arg"},
      {"make date! [1 1 2020 10 60]", "!! script bad-to-arg"},
      {"to date! [1 1 2020 25 0]", "2-Jan-2020/1:00:00"},
      {"to date! [1 1 2020 10 90 0]", "1-Jan-2020/11:30:00"},
      {"make date! [1 1]", "!! script bad-to-arg"},
      {"make date! [1 1 2020 10 30 15 2 30 1]", "!! script bad-to-arg"},
      {"make date! [1 1 2020 10 30 15 16]", "!! script bad-to-arg"},
      {"make date! [1 1 99999]", "!! script bad-to-arg"},
      {"make date! [a 1 2020]", "!! script bad-to-arg"},
      {"to date! 0", "1-Jan-1970/0:00:00"},
      {"to date! -1", "31-Dec-1969/23:59:59"},
      {"to date! 86400", "2-Jan-1970/0:00:00"},
      {"to date! \"x\"", "!! script bad-to-arg"},
  });
  set("t", time_value(37800));
  set("z", time_value(-19800));
  EXPECT_EQ(run("make date! reduce [1 1 2020 t]"), "1-Jan-2020/10:30:00");
  EXPECT_EQ(run("make date! reduce [1 1 2020 t z]"), "1-Jan-2020/10:30:00-05:30");
  set("f", float_value(15.5));
  EXPECT_EQ(run("make date! reduce [1 1 2020 10 30 f]"), "1-Jan-2020/10:30:15.5");
  set("nz", time_value(-1800));
  EXPECT_EQ(run("make date! reduce [1 1 2020 t nz]"), "1-Jan-2020/10:30:00-00:30");
}

TEST_F(Date, ReadsEveryField) {
  set("d", date_value(2021, 1, 1, 37845.5, 90));  // a Friday, 10:30:45.5+01:30
  set("e", date_value(2024, 12, 31));
  expect_all({
      {"d/date", "1-Jan-2021"},
      {"d/year", "2021"},
      {"d/month", "1"},
      {"d/day", "1"},
      {"d/zone", "1:30:00"},
      {"d/time", "10:30:45.5"},
      {"d/hour", "10"},
      {"d/minute", "30"},
      {"d/weekday", "5"},
      {"d/yearday", "1"},
      {"d/julian", "1"},
      {"d/timezone", "1:30:00"},
      {"d/week", "1"},
      {"d/isoweek", "53"},
      {"d/2", "2021"},
      {"d/14", "53"},
      {"e/isoweek", "1"},
      {"e/yearday", "366"},
      {"e/week", "53"},
      {"e/zone", "none"},
      {"e/time", "none"},
      {"pick d 'year", "2021"},
      {"pick d 10", "5"},
      {"d/15", "!! script invalid-path"},
      {"d/0", "!! script invalid-path"},
      {"d/nope", "!! script invalid-path"},
      {"pick d 15", "!! script out-of-range"},
      {"pick d 'nope", "!! script out-of-range"},
  });
  cell r;
  ASSERT_EQ(evaluate("d/second", &r), "");
  EXPECT_EQ(type_of(&r), type::float_);
  EXPECT_EQ(get_double(&r), 45.5);
}

TEST_F(Date, SetsEveryField) {
  set("d0", date_value(2021, 1, 31));
  set("t0", date_value(2020, 2, 29, 37800, 120));
  set("tm", time_value(3600 * 23 + 1800));
  set("z", time_value(-5 * 3600));
  set("other", date_value(1999, 12, 24));
  set("f", float_value(7.5));
  expect_all({
      {"d: d0 d/month: 2 d", "3-Mar-2021"},
      {"d: d0 d/day: 0 d", "31-Dec-2020"},
      {"d: d0 d/day: 32 d", "1-Feb-2021"},
      {"d: d0 d/month: 0 d", "31-Dec-2020"},
      {"d: d0 d/month: -11 d", "31-Jan-2020"},
      {"d: d0 d/month: 14 d", "3-Mar-2022"},
      {"d: t0 d/year: 2021 d", "1-Mar-2021/10:30:00+02:00"},
      {"d: d0 d/weekday: 1 d", "25-Jan-2021"},
      {"d: d0 d/weekday: 7 d", "31-Jan-2021"},
      {"d: d0 d/yearday: 60 d", "1-Mar-2021"},
      {"d: d0 d/julian: 1 d", "1-Jan-2021"},
      {"d: d0 d/week: 2 d", "3-Jan-2021"},
      {"d: d0 d/week: 1 d", "1-Jan-2021"},
      {"d: d0 d/isoweek: 1 d", "4-Jan-2021"},
      {"d: d0 d/isoweek: 10 d", "8-Mar-2021"},
      {"d: d0 d/date: other d", "24-Dec-1999"},
      // zone keeps the local time, timezone keeps the instant.
      {"d: t0 d/zone: -5 d", "29-Feb-2020/10:30:00-05:00"},
      {"d: t0 d/timezone: -5 d", "29-Feb-2020/3:30:00-05:00"},
      {"d: t0 d/timezone: z d", "29-Feb-2020/3:30:00-05:00"},
      {"d: t0 d/timezone: 12 d", "29-Feb-2020/20:30:00+12:00"},
      {"d: t0 d/timezone: 14 d", "29-Feb-2020/22:30:00+14:00"},
      {"d: t0 d/timezone: z d/timezone: 15 d", "29-Feb-2020/23:30:00+15:00"},
      {"d: t0 d/timezone: -10 d/timezone: -12 d", "28-Feb-2020/20:30:00-12:00"},
      {"d: t0 d/zone: 18 d/zone", "2:00:00"},
      {"d: t0 d/time: tm d", "29-Feb-2020/23:30:00+02:00"},
      {"d: t0 d/time: none d", "29-Feb-2020"},
      {"d: d0 d/time: tm d", "31-Jan-2021/23:30:00"},
      // hour, minute and second set the local time and carry into the date.
      {"d: t0 d/hour: 5 d", "29-Feb-2020/5:30:00+02:00"},
      {"d: t0 d/hour: 25 d", "1-Mar-2020/1:30:00+02:00"},
      {"d: t0 d/minute: 0 d", "29-Feb-2020/10:00:00+02:00"},
      {"d: t0 d/second: f d", "29-Feb-2020/10:30:07.5+02:00"},
      {"d: d0 d/hour: 3 d", "31-Jan-2021/3:00:00"},
      {"d: d0 d/year: \"x\"", "!! script invalid-arg"},
      {"d: d0 d/date: 5", "!! script invalid-arg"},
      {"d: d0 d/zone: \"x\"", "!! script invalid-arg"},
      {"d: d0 d/time: 5", "!! script invalid-arg"},
      {"d: d0 d/year: 20000", "!! script type-limit"},
      {"d", "31-Jan-2021"},
  });
  // A quarter-hour zone: the minute set is the local minute.
  set("q", date_value(2020, 1, 1, 10 * 3600 + 40 * 60, 330));
  EXPECT_EQ(run("q/minute: 0 q"), "1-Jan-2020/10:00:00+05:30");
  EXPECT_EQ(run("q/minute"), "0");
}

TEST_F(Date, ComparesInstants) {
  // 1-Jan-2020/1:00+2:00 is 31-Dec-2019/23:00 UTC, before 31-Dec-2019/23:30 UTC.
  set("a", date_value(2020, 1, 1, 3600, 120));
  set("b", date_value(2019, 12, 31, 84600));
  set("c", date_value(2019, 12, 31, 82800));
  set("p", date_value(2020, 1, 15));
  set("q", date_value(2020, 1, 15, 0));
  expect_all({
      {"a < b", "true"},
      {"a = c", "true"},
      {"a == c", "true"},
      {"same? a c", "false"},
      {"same? a a", "true"},
      {"b > a", "true"},
      {"p = q", "true"},
      {"p < a", "false"},
      {"p = 1", "false"},
      {"p < 1", "!! script invalid-compare"},
  });
  set("n1", date_value(-1, 12, 31));
  set("n2", date_value(0, 1, 1));
  EXPECT_EQ(run("n1 < n2"), "true");
  EXPECT_EQ(run("n2 - n1"), "1");
}

TEST_F(Date, DayArithmetic) {
  set("d", date_value(2020, 1, 15));
  set("m1", date_value(2020, 3, 1));
  set("f1", date_value(2020, 2, 1));
  set("x", date_value(2020, 1, 2, 3600));
  set("y", date_value(2020, 1, 1, 82800));
  set("h", time_value(3600 * 30));
  set("zd", date_value(2020, 1, 1, 3600, 120));
  set("last", date_value(16383, 12, 31));
  set("first", date_value(-16384, 1, 1));
  expect_all({
      {"d + 1", "16-Jan-2020"},
      {"d - 15", "31-Dec-2019"},
      {"1 + d", "!! script not-related"},
      {"m1 - f1", "29"},
      {"x - y", "0"},
      {"y - x", "-1"},
      {"d + h", "16-Jan-2020/6:00:00"},
      {"d - h", "13-Jan-2020/18:00:00"},
      {"zd + h", "2-Jan-2020/7:00:00+02:00"},
      {"d + d", "!! script not-related"},
      {"last + 1", "!! script type-limit"},
      {"first - 1", "!! script type-limit"},
      {"last - first", "11968265"},
  });
  // Before 1-Mar-0000 the weekdays and differences stay right (year -1 is a common year, -4
  // a leap year).
  set("bc", date_value(-1, 2, 28));
  set("bl", date_value(-4, 2, 28));
  EXPECT_EQ(run("bc/weekday"), "7");
  EXPECT_EQ(run("(bc + 3) - bc"), "3");
  EXPECT_EQ(run("bc + 1"), "1/Mar/-0001");
  EXPECT_EQ(run("bl + 1"), "29/Feb/-0004");
  EXPECT_EQ(run("b2: bl + 1 b2/yearday"), "60");
}

TEST_F(Date, EpochSeconds) {
  cell r;
  struct {
    cell date;
    double seconds;
  } cases[] = {
      {date_value(1970, 1, 2), 86400},
      {date_value(1970, 1, 1, 0), 0},
      {date_value(1969, 12, 31, 86399.5), 0},      // rounds half up
      {date_value(1970, 1, 1, 0.4, 60), -3600},    // 0:00:00.4+1:00 is -0:59:59.6 UTC
      {date_value(1970, 1, 1, 1.7), 2},
      {date_value(2038, 1, 19, 3 * 3600 + 14 * 60 + 8), 2147483648.0},
      {date_value(2100, 1, 1), 4102444800.0},
      {date_value(1901, 12, 13), -2147558400.0},
  };
  for (auto& c : cases) {
    EXPECT_EQ(date_type::to_epoch_seconds(&c.date), c.seconds) << molded(&c.date);
    date_type::epoch_value(&c.date, &r);
    bool fits = c.seconds >= -2147483648.0 && c.seconds <= 2147483647.0;
    EXPECT_EQ(type_of(&r), fits ? type::integer : type::float_) << molded(&c.date);
  }
  cell a = date_value(2020, 1, 2, 3600);
  cell b = date_value(2020, 1, 1, 82800);
  date_type::difference(&a, &b);
  EXPECT_EQ(molded(&a), "2:00:00");
}

}  // namespace
}  // namespace kaz::scalar_test

// Calendar arithmetic against the standard library's proleptic Gregorian calendar.
#include "datatypes/calendar.h"

#include <gtest/gtest.h>

#include <chrono>

namespace kaz {
namespace {

namespace cal = calendar;
using namespace std::chrono;

int64_t chrono_days(int32_t y, int32_t m, int32_t d) {
  return sys_days{year{y} / month{static_cast<unsigned>(m)} / day{static_cast<unsigned>(d)}}
      .time_since_epoch()
      .count();
}

// ISO 8601 week: the week of the Thursday of the date's week, counted in that Thursday's year.
int32_t chrono_isoweek(sys_days d) {
  int wd = static_cast<int>(weekday{d}.iso_encoding());  // 1 Monday
  sys_days thursday = d + days{4 - wd};
  year_month_day t{thursday};
  return static_cast<int32_t>((thursday - sys_days{t.year() / January / 1}).count() / 7 + 1);
}

TEST(Calendar, DayNumbersMatchTheCivilCalendarAcrossTheWholeRange) {
  // Every day from year -1000 to 2500, and the ends of the representable range.
  const int64_t epoch = cal::to_days(1970, 1, 1);
  sys_days from = year{-1000} / January / 1, to = year{2500} / December / 31;
  int64_t expected = cal::to_days(-1000, 1, 1);
  for (sys_days d = from; d <= to; d += days{1}, ++expected) {
    year_month_day ymd{d};
    int32_t y = static_cast<int>(ymd.year()), m = static_cast<unsigned>(ymd.month()),
            dd = static_cast<unsigned>(ymd.day());
    int64_t n = cal::to_days(y, m, dd);
    ASSERT_EQ(n, expected) << y << "-" << m << "-" << dd;
    ASSERT_EQ(n - epoch, d.time_since_epoch().count());
    int32_t by, bm, bd;
    cal::from_days(n, by, bm, bd);
    ASSERT_TRUE(by == y && bm == m && bd == dd) << n;
    ASSERT_EQ(cal::weekday(n), static_cast<int32_t>(weekday{d}.iso_encoding()));
    ASSERT_EQ(cal::isoweek(n, y), chrono_isoweek(d)) << y << "-" << m << "-" << dd;
    ASSERT_EQ(cal::yearday(n, y), (d - sys_days{ymd.year() / January / 1}).count() + 1);
  }
  for (auto [y, m, d] : {std::tuple{cal::min_year, 1, 1}, std::tuple{cal::max_year, 12, 31}}) {
    int64_t n = cal::to_days(y, m, d);
    EXPECT_EQ(n - epoch, chrono_days(y, m, d));
    int32_t by, bm, bd;
    cal::from_days(n, by, bm, bd);
    EXPECT_TRUE(by == y && bm == m && bd == d);
  }
  EXPECT_EQ(cal::min_days(), cal::to_days(cal::min_year, 1, 1));
  EXPECT_FALSE(cal::days_fit(cal::min_days() - 1));
  EXPECT_FALSE(cal::days_fit(cal::max_days() + 1));
}

TEST(Calendar, DayZeroIsTheFirstOfMarchOfYearZero) {
  EXPECT_EQ(cal::to_days(0, 3, 1), 0);
  EXPECT_EQ(cal::to_days(0, 1, 1), -60);  // year 0 is a leap year
  EXPECT_EQ(cal::weekday(0), 3);          // a Wednesday
}

TEST(Calendar, LeapYearsAndMonthEnds) {
  struct {
    int32_t year;
    bool leap;
  } years[] = {{2000, true}, {1900, false}, {2024, true}, {2023, false}, {0, true},
               {-4, true},   {-100, false}, {-400, true}, {2100, false}};
  for (auto& y : years) EXPECT_EQ(cal::leap_year(y.year), y.leap) << y.year;
  EXPECT_EQ(cal::days_in_month(2024, 2), 29);
  EXPECT_EQ(cal::days_in_month(2023, 2), 28);
  EXPECT_EQ(cal::days_in_month(2023, 4), 30);
  EXPECT_EQ(cal::days_in_month(2023, 12), 31);
  // Day 0 of a month is the last day of the one before; 31 April is 1 May.
  EXPECT_EQ(cal::to_days(2024, 3, 0), cal::to_days(2024, 2, 29));
  EXPECT_EQ(cal::to_days(2023, 4, 31), cal::to_days(2023, 5, 1));
}

TEST(Calendar, IsoWeeksAroundTheNewYear) {
  struct {
    int32_t y, m, d, week;
  } cases[] = {{2021, 1, 1, 53}, {2021, 1, 4, 1},  {2024, 12, 31, 1}, {2016, 1, 1, 53},
               {2022, 1, 1, 52}, {2005, 1, 1, 53}, {2017, 1, 1, 52},  {2020, 12, 31, 53},
               {2014, 12, 29, 1}};
  for (auto& c : cases)
    EXPECT_EQ(cal::isoweek(cal::to_days(c.y, c.m, c.d), c.y), c.week)
        << c.y << "-" << c.m << "-" << c.d;
  // Week 1 of 2021 starts on Monday 4 January; of 2015 on Monday 29 December 2014.
  EXPECT_EQ(cal::isoweek_start(2021), cal::to_days(2021, 1, 4));
  EXPECT_EQ(cal::isoweek_start(2015), cal::to_days(2014, 12, 29));
}

TEST(Calendar, SundayWeeks) {
  // 2023 starts on a Sunday: week 2 starts on 8 January. 2022 starts on a Saturday: week 2
  // starts on Sunday 2 January.
  EXPECT_EQ(cal::week(cal::to_days(2023, 1, 7), 2023), 1);
  EXPECT_EQ(cal::week(cal::to_days(2023, 1, 8), 2023), 2);
  EXPECT_EQ(cal::week(cal::to_days(2022, 1, 1), 2022), 1);
  EXPECT_EQ(cal::week(cal::to_days(2022, 1, 2), 2022), 2);
  EXPECT_EQ(cal::week_start(2023, 2), cal::to_days(2023, 1, 8));
  EXPECT_EQ(cal::week_start(2022, 2), cal::to_days(2022, 1, 2));
  EXPECT_EQ(cal::week_start(2022, 1), cal::to_days(2022, 1, 1));
  for (int32_t n = 2; n <= 53; ++n)
    EXPECT_EQ(cal::week(cal::week_start(2019, n), 2019), n) << n;
}

TEST(Calendar, ZonesCarryWholeDays) {
  uint32_t plus2 = cal::pack_zone(false, 2, 0), minus530 = cal::pack_zone(true, 5, 30);
  EXPECT_EQ(cal::zone_offset(plus2), 7200.0);
  EXPECT_EQ(cal::zone_offset(minus530), -19800.0);
  EXPECT_EQ(cal::pack_zone(true, 0, 0), 0u);  // no negative zero zone
  EXPECT_EQ(cal::zone_offset(cal::pack_zone(true, 0, 30)), -1800.0);

  struct {
    double time;
    uint32_t zone;
    int64_t day_shift;
    double time_after;
  } cases[] = {
      {-3600, plus2, 0, -3600},            // local 1:00 stays on its day
      {-7201, plus2, -1, 86400 - 7201},    // local -0:00:01 is the day before
      {90000, 0, 1, 3600},                 // 25:00 is 1:00 the next day
      {-90000, 0, -2, 82800},              // -25:00 is 23:00 two days before
      {0, minus530, -1, 86400},            // local -5:30 the day before
      {86399.5, 0, 0, 86399.5},
  };
  for (auto& c : cases) {
    int64_t days = 1000;
    double t = c.time;
    ASSERT_TRUE(cal::shift_by_zone(days, t, c.zone)) << c.time;
    EXPECT_EQ(days, 1000 + c.day_shift) << c.time;
    EXPECT_EQ(t, c.time_after) << c.time;
  }
  int64_t days = cal::max_days();
  double t = 86400 * 2;
  EXPECT_FALSE(cal::shift_by_zone(days, t, 0));
  t = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(cal::shift_by_zone(days, t, 0));
  t = 1e300;
  EXPECT_FALSE(cal::shift_by_zone(days, t, 0));
}

}  // namespace
}  // namespace kaz

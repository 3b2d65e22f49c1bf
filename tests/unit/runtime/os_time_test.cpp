// Clock, calendar, zone packing and sleeping.
#include "runtime/os_time.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>

namespace kaz::sysrt {
namespace {

TEST(OsTime, ZonePacking) {
  struct row {
    int minutes;
    uint32_t hours, quarters;
  };
  const row rows[] = {
      {0, 0, 0},          {-210, 0x13, 2},  // UTC-03:30
      {345, 5, 3},        {-30, 0x10, 2},   // -00:30 keeps its sign
      {-15, 0x10, 1},     {60, 1, 0},
      {-60, 0x11, 0},     {840, 14, 0},
      {-720, 0x1C, 0},    {50, 0, 3},       // odd minutes round down to a quarter
  };
  for (const row& r : rows) {
    uint32_t z = zone_code(r.minutes);
    EXPECT_EQ(z >> 2, r.hours) << r.minutes;
    EXPECT_EQ(z & 3, r.quarters) << r.minutes;
  }
  EXPECT_EQ(pack_date(2024, 2, 29, zone_code(-210)), (2024u << 17) | (2u << 12) | (29u << 7) | 0x4E);
}

TEST(OsTime, LocalDateCarriesTheZone) {
  ::setenv("TZ", "XST+3:30", 1);  // three and a half hours west of Greenwich
  ::tzset();
  uint32_t local = get_local_time(false);
  EXPECT_EQ(local & 0x7F, zone_code(-210));
  uint32_t utc = get_local_time(true);
  EXPECT_EQ(utc & 0x7F, 0u);
  std::time_t now = std::time(nullptr);
  std::tm t{};
  ::gmtime_r(&now, &t);
  EXPECT_EQ(utc >> 17, static_cast<uint32_t>(t.tm_year + 1900));
  uint32_t month = (utc >> 12) & 0x1F, day = (utc >> 7) & 0x1F;
  EXPECT_TRUE(month >= 1 && month <= 12);
  EXPECT_TRUE(day >= 1 && day <= 31);
  ::unsetenv("TZ");
  ::tzset();
}

TEST(OsTime, TimeOfDay) {
  double whole = get_time(false);
  double precise = get_time(true);
  EXPECT_EQ(whole, std::floor(whole));
  EXPECT_GE(whole, 0.0);
  EXPECT_LT(precise, 86400.0);
  // 100 ns steps: the fraction times 10^7 is an integer (within rounding).
  double steps = (precise - std::floor(precise)) * 1e7;
  EXPECT_NEAR(steps, std::round(steps), 1e-3);
}

TEST(OsTime, SleepIsAtLeastOneMillisecondAndClamped) {
  struct row {
    double seconds;
    uint32_t ms;
  };
  const row rows[] = {
      {0.0005, 1},      {2.5, 2500},         {0.0, 1},
      {-3.0, 1},        {NAN, 1},            {-INFINITY, 1},
      {0.0019, 1},      {INFINITY, 4294967294u}, {1e300, 4294967294u},
      {4294967.0, 4294967000u},
  };
  for (const row& r : rows) EXPECT_EQ(sleep_millis(r.seconds), r.ms) << r.seconds;
  auto start = std::chrono::steady_clock::now();
  sleep(NAN);
  sleep(0.0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2));
}

}  // namespace
}  // namespace kaz::sysrt

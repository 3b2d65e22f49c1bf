#include "datatypes/calendar.h"

#include <cmath>

namespace kaz::calendar {

namespace {

// Day number of 1 March of year y: the start of the March-based year.
int64_t march_year_start(int64_t y) {
  return 365 * y + floor_div(y, 4) - floor_div(y, 100) + floor_div(y, 400);
}

}  // namespace

uint32_t pack(int32_t year, int32_t month, int32_t day, bool has_time, uint32_t zone) {
  return (static_cast<uint32_t>(year) << 17) | (has_time ? has_time_flag : 0u) |
         ((static_cast<uint32_t>(month) & 0xF) << 12) | ((static_cast<uint32_t>(day) & 0x1F) << 7) |
         (zone & zone_mask);
}

uint32_t pack_zone(bool negative, uint32_t hours, uint32_t minutes) {
  uint32_t quarters = (minutes / 15) & 3;
  hours &= 0xF;
  if (hours == 0 && quarters == 0) negative = false;  // no "-00:00"
  return (negative ? zone_sign_flag : 0u) | (hours << 2) | quarters;
}

bool leap_year(int32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int32_t days_in_month(int32_t year, int32_t month) {
  static const int8_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && leap_year(year) ? 29 : days[month - 1];
}

int64_t to_days(int64_t year, int64_t month, int64_t day) {
  int64_t m = floor_mod(month + 9, 12);  // 0 = March ... 11 = February
  int64_t y = year - m / 10;            // January and February count in the year before
  return march_year_start(y) + (306 * m + 5) / 10 + (day - 1);
}

void from_days(int64_t days, int32_t& year, int32_t& month, int32_t& day) {
  int64_t y = floor_div(10000 * days + 14780, 3652425);
  int64_t r = days - march_year_start(y);
  if (r < 0) {
    --y;
    r = days - march_year_start(y);
  }
  int64_t mi = (100 * r + 52) / 3060;
  month = static_cast<int32_t>((mi + 2) % 12 + 1);
  year = static_cast<int32_t>(y + (mi + 2) / 12);
  day = static_cast<int32_t>(r - (306 * mi + 5) / 10 + 1);
}

int64_t min_days() { return to_days(min_year, 1, 1); }
int64_t max_days() { return to_days(max_year, 12, 31); }

uint32_t word_from_days(int64_t days, uint32_t zone, bool has_time) {
  int32_t y, m, d;
  from_days(days, y, m, d);
  return pack(y, m, d, has_time, zone);
}

int64_t year_start(int32_t year) { return to_days(year, 1, 1); }

int32_t yearday(int64_t days, int32_t year) {
  return static_cast<int32_t>(days - year_start(year) + 1);
}

int32_t weekday(int64_t days) { return static_cast<int32_t>(floor_mod(days + 2, 7) + 1); }

int64_t isoweek_start(int32_t year, int32_t* jan1_weekday) {
  int64_t j = year_start(year);
  int64_t w = floor_mod(j + 2, 7);  // 0 = Monday
  if (jan1_weekday) *jan1_weekday = static_cast<int32_t>(w + 1);
  return j - w + (w >= 4 ? 7 : 0);
}

int32_t isoweek(int64_t days, int32_t year) {
  int32_t w;
  int64_t s = isoweek_start(year, &w);
  if (days < s) {
    // The last week of the year before: 1 January on a Friday, or on a Saturday after a leap
    // year, falls in week 53.
    if (w == 5) return 53;
    if (w == 6) return leap_year(year - 1) ? 53 : 52;
    return 52;
  }
  if (days < isoweek_start(year + 1)) return static_cast<int32_t>((days - s) / 7 + 1);
  return 1;
}

int32_t week(int64_t days, int32_t year) {
  int64_t e = floor_mod(year_start(year) + 3, 7);  // weekday of 1 January, 0 = Sunday
  int64_t d = yearday(days, year);
  return d > 7 - e ? static_cast<int32_t>((d + e - 1) / 7 + 1) : 1;
}

int64_t week_start(int32_t year, int32_t n) {
  int64_t j = year_start(year);
  if (n <= 1) return j;
  int64_t x = j + 7 * static_cast<int64_t>(n);
  return x - floor_mod(x + 3, 7) - 7;
}

double zone_offset(uint32_t zone) {
  double s = ((zone >> 2) & 0xF) * 3600.0 + (zone & 3) * 900.0;
  return (zone & zone_sign_flag) ? -s : s;
}

bool shift_by_zone(int64_t& days, double& time, uint32_t zone) {
  if (!std::isfinite(time)) return false;
  double z = zone_offset(zone);
  double k = std::floor((time + z) / 86400.0);
  if (std::fabs(k) > 1e9) return false;
  double t = time - k * 86400.0;
  int64_t d = days + static_cast<int64_t>(k);
  // Rounding can leave the local time a hair outside the day.
  if (t + z < 0) {
    t += 86400.0;
    --d;
  } else if (t + z >= 86400.0) {
    t -= 86400.0;
    ++d;
  }
  if (!days_fit(d)) return false;
  days = d;
  time = t;
  return true;
}

}  // namespace kaz::calendar

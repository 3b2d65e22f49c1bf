#include "loader/lexer_calendar.h"

#include <cmath>

namespace kaz::lexer {

bool leap_year(int32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int32_t days_in_month(int32_t y, int32_t m) {
  static const int8_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12) return 0;
  return m == 2 && leap_year(y) ? 29 : days[m - 1];
}

int32_t to_days(int32_t year, int32_t month, int32_t day) {
  int32_t m = (month + 9) % 12;
  int32_t y = year - m / 10;
  return 365 * y + y / 4 - y / 100 + y / 400 + (306 * m + 5) / 10 + (day - 1);
}

void from_days(int32_t days, int32_t& year, int32_t& month, int32_t& day) {
  auto year_start = [](int32_t y) { return 365 * y + y / 4 - y / 100 + y / 400; };
  int32_t y = int32_t(std::trunc((10000.0 * days + 14780.0) / 3652425.0));
  int32_t r = days - year_start(y);
  if (r < 0) {
    --y;
    r = days - year_start(y);
  }
  int32_t mi = (100 * r + 52) / 3060;
  month = (mi + 2) % 12 + 1;
  year = y + (mi + 2) / 12;
  day = r - (306 * mi + 5) / 10 + 1;
}

int32_t isoweek_start(int32_t year) {
  int32_t j = to_days(year, 1, 1);
  int32_t w = (j + 2) % 7;  // 0 = Monday
  if (w < 0) w += 7;
  return j - w + (w >= 4 ? 7 : 0);
}

uint32_t date_word(int32_t year, int32_t month, int32_t day, bool has_time, bool zone_negative,
                   uint32_t zone_hours, uint32_t zone_quarters) {
  return (uint32_t(year) << 17) | (has_time ? 0x10000u : 0u) | ((uint32_t(month) & 0xF) << 12) |
         ((uint32_t(day) & 0x1F) << 7) | (zone_negative ? 0x40u : 0u) |
         ((zone_hours & 0xF) << 2) | (zone_quarters & 0x3);
}

cell date_cell(int32_t year, int32_t month, int32_t day, bool has_time, double local_seconds,
               bool zone_negative, uint32_t zone_hours, uint32_t zone_minutes) {
  cell c{type::date, 0, 0, 0};
  if (!has_time) {
    c.data1 = date_word(year, month, day, false, false, 0, 0);
    put_double(&c, 0.0);
    return c;
  }
  uint32_t quarters = zone_minutes / 15;
  if (zone_hours == 0 && quarters == 0) zone_negative = false;
  c.data1 = date_word(year, month, day, true, zone_negative, zone_hours, quarters);
  double offset = double(zone_hours) * 3600.0 + double(quarters) * 900.0;
  put_double(&c, zone_negative ? local_seconds + offset : local_seconds - offset);
  return c;
}

}  // namespace kaz::lexer

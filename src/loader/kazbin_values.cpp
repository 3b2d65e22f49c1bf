#include "loader/kazbin_values.h"

#include <cmath>

#include "datatypes/calendar.h"

namespace kaz::kazbin {

bool valid_date(uint32_t word, double time) {
  int32_t month = calendar::month_of(word);
  int32_t day = calendar::day_of(word);
  if (month < 1 || month > 12) return false;
  if (day < 1 || day > calendar::days_in_month(calendar::year_of(word), month)) return false;
  if (!calendar::has_time(word)) return time == 0.0;
  // The time is kept in UTC: the local time of day less the zone's offset (at most 16 hours).
  return std::isfinite(time) && time > -86400.0 && time < 2 * 86400.0;
}

bool valid_money(const cell* m) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(m) + 5;
  for (uint32_t i = 0; i < 11; ++i) {
    if ((bytes[i] >> 4) > 9 || (bytes[i] & 0xF) > 9) return false;
  }
  return true;
}

}  // namespace kaz::kazbin

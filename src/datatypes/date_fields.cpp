// date! fields: what /year, /zone, /isoweek and the rest read, and what setting them does.
#include <cmath>

#include "datatypes/calendar.h"
#include "datatypes/date.h"
#include "datatypes/date_fields.h"
#include "datatypes/integer.h"
#include "datatypes/scalar_support.h"
#include "datatypes/time.h"

namespace kaz::date_type {

namespace cal = calendar;
using namespace scalar;

namespace {

// The field words in index order; "julian" comes last and stands for yearday.
scalar::field_words<15> words({"date", "year", "month", "day", "zone", "time", "hour", "minute",
                               "second", "weekday", "yearday", "timezone", "week", "isoweek",
                               "julian"});

cell integer_cell(int64_t v) {
  return cell{type::integer, 0, static_cast<uint32_t>(static_cast<int32_t>(v)), 0};
}

cell time_cell(double s) {
  cell c{type::time, 0, 0, 0};
  put_double(&c, s);
  return c;
}

int32_t integer_argument(const cell* v) {
  if (type_of(v) != type::integer) {
    cell c = *v;
    fire(err::script_invalid_arg, &c);
  }
  return integer_type::value_of(v);
}

/*
 * A zone from an integer! (whole hours, modulo 16, minutes 0) or a time! (modulo 16 hours,
 * kept to quarter hours). The sign of the value is the sign of the zone, so -0:30 stays west.
 */
uint32_t zone_argument(const cell* v) {
  switch (type_of(v)) {
    case type::integer: {
      int32_t h = integer_type::value_of(v) % 16;
      return cal::pack_zone(h < 0, static_cast<uint32_t>(h < 0 ? -h : h), 0);
    }
    case type::time: {
      double s = std::fmod(get_double(v), 57600.0);
      if (std::isnan(s)) break;
      return cal::pack_zone(s < 0, static_cast<uint32_t>(std::fabs(time_type::hours_of(s))),
                            static_cast<uint32_t>(time_type::minutes_of(s)));
    }
    default:
      break;
  }
  cell c = *v;
  fire(err::script_invalid_arg, &c);
}

}  // namespace

int32_t field_index(const cell* word) {
  int32_t i = words.index_of(word);
  return i == 15 ? 11 : i;
}

void get_field(const cell* d, int32_t index, cell* out) {
  uint32_t w = word_of(d);
  uint32_t zone = cal::zone_of(w);
  double local = cal::to_local(get_double(d), zone);
  int64_t days = cal::to_days(w);
  int32_t year = cal::year_of(w);
  switch (index) {
    case 1:
      *out = cell{type::date, w & cal::date_mask, 0, 0};
      put_double(out, 0.0);
      return;
    case 2: *out = integer_cell(year); return;
    case 3: *out = integer_cell(cal::month_of(w)); return;
    case 4: *out = integer_cell(cal::day_of(w)); return;
    case 5:
    case 12:
      if (!cal::has_time(w)) *out = cell{type::none, 0, 0, 0};
      else *out = time_cell(cal::zone_offset(zone));
      return;
    case 6:
      if (!cal::has_time(w)) *out = cell{type::none, 0, 0, 0};
      else *out = time_cell(local);
      return;
    case 7:
    case 8:
    case 9: time_type::get_field(local, index - 6, out); return;
    case 10: *out = integer_cell(cal::weekday(days)); return;
    case 11: *out = integer_cell(cal::yearday(days, year)); return;
    case 13: *out = integer_cell(cal::week(days, year)); return;
    default: *out = integer_cell(cal::isoweek(days, year)); return;
  }
}

void set_field(cell* d, int32_t index, const cell* value) {
  uint32_t w = word_of(d);
  uint32_t zone = cal::zone_of(w);
  bool has_time = cal::has_time(w);
  double time = get_double(d);
  int32_t year = cal::year_of(w), month = cal::month_of(w), day = cal::day_of(w);
  int64_t days = cal::to_days(w);
  switch (index) {
    case 1: {  // the date of another date! (with its has-time flag), this zone kept
      if (type_of(value) != type::date) {
        cell c = *value;
        fire(err::script_invalid_arg, &c);
      }
      uint32_t v = word_of(value);
      has_time = cal::has_time(v);
      days = cal::to_days(v);
      break;
    }
    case 2: days = cal::to_days(integer_argument(value), month, day); break;
    case 3: {  // months before 1 and after 12 move the year; the day carries (31 April is 1 May)
      int64_t m0 = static_cast<int64_t>(integer_argument(value)) - 1;
      days = cal::to_days(year + cal::floor_div(m0, 12), cal::floor_mod(m0, 12) + 1, day);
      break;
    }
    case 4: days = cal::to_days(year, month, 0) + integer_argument(value); break;
    case 5: {  // the local time stays, the instant moves
      uint32_t z = zone_argument(value);
      time = cal::to_utc(cal::to_local(time, zone), z);
      zone = z;
      break;
    }
    case 12: zone = zone_argument(value); break;  // the instant stays
    case 6:
      if (type_of(value) == type::none) {
        has_time = false;
      } else if (type_of(value) == type::time) {
        time = cal::to_utc(get_double(value), zone);
        has_time = true;
      } else {
        cell c = *value;
        fire(err::script_invalid_arg, &c);
      }
      break;
    case 7:
    case 8:
    case 9: {  // the fields of the local time, as the getters show them
      double local = cal::to_local(time, zone);
      if (index == 7) {
        // The local time of day is never negative: the hour moves it as adding hours does,
        // whatever the sign (a time!'s negative hour would make the whole time negative).
        double x = static_cast<double>(integer_argument(value));
        local += (x - std::floor(local / 3600.0)) * 3600.0;
      } else {
        local = time_type::set_field(local, index - 6, value);
      }
      time = cal::to_utc(local, zone);
      has_time = true;
      break;
    }
    case 10: days += int64_t(integer_argument(value)) - cal::weekday(days); break;
    case 11: days = cal::year_start(year) + integer_argument(value) - 1; break;
    case 13: days = cal::week_start(year, integer_argument(value)); break;
    default: days = cal::isoweek_start(year) + 7 * int64_t(integer_argument(value)) - 7; break;
  }
  store(d, days, time, zone, has_time);
}

}  // namespace kaz::date_type

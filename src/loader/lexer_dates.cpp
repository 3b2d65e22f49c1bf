// Date syntax: day-month-year and year-month-day with "-" or "/", month names, ISO basic, week
// and ordinal dates, each with an optional time and zone.
#include <cstddef>

#include "datatypes/calendar.h"
#include "datatypes/date.h"
#include "loader/lexer_numbers.h"

namespace kaz::lexer {

namespace {

bool is_digit(uint8_t b) { return b >= '0' && b <= '9'; }
uint8_t lower(uint8_t b) { return b >= 'A' && b <= 'Z' ? uint8_t(b + 32) : b; }

const char* const month_names[12] = {"january", "february", "march",     "april",
                                     "may",     "june",     "july",      "august",
                                     "september", "october", "november", "december"};

// A cursor over the token.
struct reader {
  const uint8_t* p;
  const uint8_t* end;

  bool at_end() const { return p >= end; }
  bool peek(uint8_t b) const { return p < end && *p == b; }
  bool take(uint8_t b) {
    if (!peek(b)) return false;
    ++p;
    return true;
  }
  // A run of digits: its value and length (at most `max` digits, 0 when none).
  uint32_t digits(int32_t& value, uint32_t max) {
    uint32_t n = 0;
    value = 0;
    // One digit past `max` is counted (the caller refuses it) but not added: with max 9 the
    // value would overflow.
    while (p < end && is_digit(*p) && n < max + 1) {
      if (n < max) value = value * 10 + (*p - '0');
      ++p;
      ++n;
    }
    return n;
  }
  // Exactly n digits.
  bool fixed(int32_t& value, uint32_t n) {
    if (end - p < std::ptrdiff_t(n)) return false;
    value = 0;
    for (uint32_t i = 0; i < n; ++i) {
      if (!is_digit(p[i])) return false;
      value = value * 10 + (p[i] - '0');
    }
    p += n;
    return true;
  }
};

struct time_part {
  bool present = false;
  double seconds = 0;
  bool zone_negative = false;
  int32_t zone_hours = 0;
  int32_t zone_minutes = 0;
};

// Seconds with an optional fraction: digits ["." digits].
bool read_seconds(reader& r, double& s, bool two_digits) {
  const uint8_t* start = r.p;
  int32_t whole;
  uint32_t n = two_digits ? (r.fixed(whole, 2) ? 2 : 0) : r.digits(whole, 9);
  if (n == 0) return false;
  // More digits than an int32 holds, or a fraction: read as a float.
  bool as_float = n > 9;
  while (as_float && !r.at_end() && is_digit(*r.p)) ++r.p;
  if (r.take('.')) {
    while (!r.at_end() && is_digit(*r.p)) ++r.p;
    as_float = true;
  }
  if (as_float) return parse_float(start, r.p, 0, s);
  s = whole;
  return true;
}

// Z, or a sign, hours (1-2 digits), an optional ":" and minutes; "+0130" reads as 1:30.
bool read_zone(reader& r, time_part& t, bool basic) {
  if (r.take('Z')) return true;
  if (!r.peek('+') && !r.peek('-')) return true;
  t.zone_negative = *r.p++ == '-';
  if (basic) {
    if (!r.fixed(t.zone_hours, 2) || !r.fixed(t.zone_minutes, 2)) return false;
  } else {
    int32_t v;
    uint32_t n = r.digits(v, 4);
    if (n == 0 || n > 4) return false;
    if (n <= 2) {
      t.zone_hours = v;
      if (r.take(':') && r.digits(t.zone_minutes, 2) == 0) return false;
    } else {
      t.zone_hours = v / 100;
      t.zone_minutes = v % 100;
    }
  }
  return t.zone_hours <= 15 && t.zone_minutes < 60;
}

// hh:mm[:ss[.f]][zone], or the basic hhmm[ss[.f]][zone].
bool read_time(reader& r, time_part& t, bool basic) {
  int32_t h, m;
  double s = 0;
  if (basic) {
    if (!r.fixed(h, 2) || !r.fixed(m, 2)) return false;
    if (!r.at_end() && is_digit(*r.p) && !read_seconds(r, s, true)) return false;
  } else {
    uint32_t nh = r.digits(h, 2);
    if (nh == 0 || nh > 2 || !r.take(':')) return false;
    uint32_t nm = r.digits(m, 2);
    if (nm == 0 || nm > 2) return false;
    if (r.take(':') && !read_seconds(r, s, false)) return false;
  }
  if (h > 23 || m > 59 || !(s < 60)) return false;
  t.present = true;
  t.seconds = h * 3600.0 + m * 60.0 + s;
  return read_zone(r, t, basic) && r.at_end();
}

// A month name of 3 to 9 letters that begins a month's name, in any case.
int32_t month_by_name(reader& r) {
  const uint8_t* start = r.p;
  while (!r.at_end() && lower(*r.p) >= 'a' && lower(*r.p) <= 'z') ++r.p;
  std::ptrdiff_t n = r.p - start;
  if (n < 3 || n > 9) return 0;
  for (int32_t m = 0; m < 12; ++m) {
    const char* name = month_names[m];
    std::ptrdiff_t i = 0;
    while (i < n && name[i] && lower(start[i]) == uint8_t(name[i])) ++i;
    if (i == n) return m + 1;
  }
  return 0;
}

bool build(int32_t year, int32_t month, int32_t day, const time_part& t, cell& out) {
  if (year < -9999 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > calendar::days_in_month(year, month))
    return false;
  date_type::init_cell(&out, year, month, day, t.present, t.seconds, t.zone_negative,
                       uint32_t(t.zone_hours), uint32_t(t.zone_minutes));
  return true;
}

bool from_day_number(int64_t days, const time_part& t, cell& out) {
  int32_t y, m, d;
  calendar::from_days(days, y, m, d);
  return build(y, m, d, t, out);
}

// An optional "T" (or "/" when allowed) and a time, then the end.
bool optional_time(reader& r, time_part& t, bool slash_allowed) {
  if (r.at_end()) return true;
  if (!r.take('T') && !(slash_allowed && r.take('/'))) return false;
  return read_time(r, t, false);
}

}  // namespace

bool parse_date(const uint8_t* p, const uint8_t* end, cell& out) {
  reader r{p, end};
  time_part t;
  bool negative_first = r.take('-');
  int32_t first;
  const uint8_t* first_start = r.p;
  uint32_t n1 = r.digits(first, 8);
  if (n1 == 0 || n1 > 8) return false;

  // ISO basic: yyyymmddThhmm...
  if (r.peek('T') && n1 >= 5) {
    reader d{first_start, first_start + n1};
    int32_t year, month, day;
    if (!d.fixed(year, n1 - 4) || !d.fixed(month, 2) || !d.fixed(day, 2)) return false;
    if (negative_first) year = -year;
    ++r.p;
    if (!read_time(r, t, true)) return false;
    return build(year, month, day, t, out);
  }
  if (n1 > 4) return false;

  if (r.at_end() || (*r.p != '-' && *r.p != '/')) return false;
  uint8_t sep = *r.p++;
  int32_t year = negative_first ? -first : first;

  if (sep == '-' && n1 == 4 && r.take('W')) {
    // Week date: yyyy-Www[-d]
    int32_t week, weekday = 1;
    if (!r.fixed(week, 2)) return false;
    if (r.take('-') && (!r.fixed(weekday, 1) || weekday < 1 || weekday > 7)) return false;
    if (!optional_time(r, t, false)) return false;
    return from_day_number(calendar::isoweek_start(year) + 7 * (week - 1) + (weekday - 1), t,
                           out);
  }
  if (sep == '-' && n1 == 4 && end - r.p >= 3 && is_digit(r.p[0]) && is_digit(r.p[1]) &&
      is_digit(r.p[2]) && (r.p + 3 == end || r.p[3] == 'T')) {
    // Ordinal date: yyyy-ddd
    int32_t yearday;
    r.fixed(yearday, 3);
    if (yearday == 0) return false;
    if (!optional_time(r, t, false)) return false;
    return from_day_number(calendar::year_start(year) + yearday - 1, t, out);
  }

  // Day, month and year (or year, month and day) with one separator used twice.
  int32_t month;
  if (!r.at_end() && is_digit(*r.p)) {
    uint32_t nm = r.digits(month, 2);
    if (nm > 2) return false;
  } else {
    month = month_by_name(r);
    if (!month) return false;
  }
  if (!r.take(sep)) return false;
  bool third_negative = r.take('-');
  int32_t third;
  uint32_t n3 = r.digits(third, 4);
  if (n3 == 0 || n3 > 4) return false;

  int32_t day;
  if (negative_first || first > 31 || n1 > 2) {
    if (third_negative || n3 > 2) return false;
    day = third;
  } else {
    day = first;
    year = third_negative ? -third : third;
    if (n3 <= 2 && !third_negative) year += year > 49 ? 1900 : 2000;
  }
  if (!optional_time(r, t, true)) return false;
  return build(year, month, day, t, out);
}

}  // namespace kaz::lexer

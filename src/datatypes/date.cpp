// date!: making dates, their text, comparison as instants and day arithmetic.
#include "datatypes/date.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <cstdio>

#include "core/block_storage.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "datatypes/calendar.h"
#include "datatypes/date_fields.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/random.h"
#include "datatypes/scalar_support.h"
#include "datatypes/scalar_types.h"
#include "datatypes/system_settings.h"
#include "datatypes/time.h"

namespace kaz::date_type {

namespace cal = calendar;
using namespace scalar;

namespace {

constexpr double seconds_per_day = 86400.0;

const char* const default_months[12] = {"January", "February", "March",     "April",
                                        "May",     "June",     "July",      "August",
                                        "September", "October", "November", "December"};

cell path_result;  // a field read by a path (copied by the caller at once)

// ---------------------------------------------------------------------------------------------
// make and to

/*
 * The block reader: a state machine over [day month year], then an optional time (a time! or
 * hour, minute and second integers) and an optional zone (hours and minutes, or a time!).
 * Each state names, for an integer!, a time! and a float!, the next state and the slot the
 * value fills; state 0 has no way back, and a missing transition is an error.
 */
enum slot : uint8_t { none, first, month, third, hour, minute, second, time_value, zone_hours,
                      zone_minutes, zone_time };
struct transition {
  uint8_t next;
  slot fills;
};
constexpr transition no_way{0, none};
constexpr transition reader_table[14][3] = {
    /* 0 */ {{1, first}, no_way, no_way},
    /* 1 */ {{2, month}, no_way, no_way},
    /* 2 */ {{3, third}, no_way, no_way},
    /* 3 */ {{8, hour}, {4, time_value}, no_way},
    /* 4 */ {{6, zone_hours}, {5, zone_time}, no_way},
    /* 5 */ {no_way, no_way, no_way},
    /* 6 */ {{7, zone_minutes}, no_way, no_way},
    /* 7 */ {no_way, no_way, no_way},
    /* 8 */ {{9, minute}, no_way, no_way},
    /* 9 */ {{10, second}, no_way, {10, second}},
    /* 10 */ {{12, zone_hours}, {11, zone_time}, no_way},
    /* 11 */ {no_way, no_way, no_way},
    /* 12 */ {{13, zone_minutes}, no_way, no_way},
    /* 13 */ {no_way, no_way, no_way},
};

struct read_values {
  double v[11] = {};  // by slot
  bool given[11] = {};
};

// Reads a block into a date: checking (make) requires the fields to come out as given;
// normalising (to) lets days, months and times carry.
void from_block(cell* out, cell* spec, bool checking) {
  int32_t n = block::rs_length(spec);
  if (n < 3) fire_bad_to(type::date, spec);
  read_values r;
  uint8_t state = 0;
  for (int32_t i = 0; i < n; ++i) {
    const cell* e = block::rs_head(spec) + i;
    int column;
    switch (type_of(e)) {
      case type::integer: column = 0; break;
      case type::time: column = 1; break;
      case type::float_: column = 2; break;
      default: fire_bad_to(type::date, spec);
    }
    transition t = reader_table[state][column];
    if (t.fills == none) fire_bad_to(type::date, spec);
    r.v[t.fills] = column == 0 ? integer_type::value_of(e) : get_double(e);
    r.given[t.fills] = true;
    state = t.next;
  }

  double day = r.v[first], year = r.v[third];
  if (day > 99 && day > year) std::swap(day, year);  // [2020 1 15] is year, month, day
  double mon = r.v[month];

  // The zone: hours and minutes, or a time! whose sign is that of the whole offset.
  bool zone_negative;
  double zh, zm;
  if (r.given[zone_time]) {
    double z = r.v[zone_time];
    zone_negative = z < 0;
    zh = std::fabs(time_type::hours_of(z));
    zm = time_type::minutes_of(z);
  } else {
    zone_negative = r.v[zone_hours] < 0;
    zh = std::fabs(r.v[zone_hours]);
    zm = r.v[zone_minutes];
  }
  if (!(zh <= 15 && zm >= 0 && zm <= 59)) fire_bad_to(type::date, spec);
  uint32_t zone = cal::pack_zone(zone_negative, static_cast<uint32_t>(zh), static_cast<uint32_t>(zm));

  double local = r.given[time_value]
                     ? r.v[time_value]
                     : r.v[hour] * 3600.0 + r.v[minute] * 60.0 + r.v[second];
  bool has_time = n > 3;

  // The month carries into the year, the day into the month.
  if (std::fabs(year) > 1e6 || std::fabs(mon) > 1e7 || std::fabs(day) > 1e9)
    fire_bad_to(type::date, spec);
  int64_t m0 = static_cast<int64_t>(mon) - 1;
  int64_t y = static_cast<int64_t>(year) + cal::floor_div(m0, 12);
  int64_t days = cal::to_days(y, cal::floor_mod(m0, 12) + 1, static_cast<int64_t>(day));
  if (!cal::days_fit(days)) fire_bad_to(type::date, spec);

  if (checking) {
    int32_t cy, cm, cd;
    cal::from_days(days, cy, cm, cd);
    bool ok = cy == year && cm == mon && cd == day;
    if (has_time) {
      ok = ok && local >= 0 && local < seconds_per_day;
      if (r.given[minute]) ok = ok && time_type::minutes_of(local) == r.v[minute];
    }
    if (!ok) fire_bad_to(type::date, spec);
  }
  if (!std::isfinite(local)) fire_bad_to(type::date, spec);
  int64_t d = days;
  double utc = cal::to_utc(local, zone);
  if (!cal::shift_by_zone(d, utc, zone)) fire_bad_to(type::date, spec);
  store(out, d, utc, zone, has_time);
}

// Unix time: 1-Jan-1970 plus that many seconds, in UTC.
void from_epoch(cell* out, int32_t seconds) {
  store(out, cal::to_days(1970, 1, 1), static_cast<double>(seconds), 0, true);
}

cell* make(cell* proto, cell* spec, uint32_t) {
  switch (type_of(spec)) {
    case type::date:
      return spec;
    case type::block:
    case type::paren:
    case type::hash:
      from_block(proto, spec, true);
      return proto;
    default:
      fire_bad_to(type::date, spec);
  }
}

cell* to(cell* proto, cell* spec, uint32_t) {
  switch (type_of(spec)) {
    case type::date:
      return spec;
    case type::integer:
      from_epoch(proto, integer_type::value_of(spec));
      return proto;
    case type::block:
    case type::paren:
    case type::hash:
      from_block(proto, spec, false);
      return proto;
    default:
      fire_bad_to(type::date, spec);
  }
}

// ---------------------------------------------------------------------------------------------
// Text

// The first three characters of the month's name from system/locale/months.
int32_t write_month(node_t out, int32_t month) {
  const cell* list = system_settings::months();
  if (!list) {
    string::append_ascii(out, std::string_view(default_months[month - 1], 3));
    return 3;
  }
  if (!is_any_block(type_of(list)) || block::rs_length(list) < month ||
      !is_any_string(type_of(block::rs_head(const_cast<cell*>(list)) + month - 1)))
    fire(err::script_invalid_months);
  cell name = *(block::rs_head(const_cast<cell*>(list)) + month - 1);
  uint32_t n = string::length_from_head(&name);
  if (n > 3) n = 3;
  for (uint32_t i = 0; i < n; ++i)
    string::append_code_point(out, string::char_at_absolute(&name, series::index_of(&name) + i));
  return static_cast<int32_t>(n);
}

/*
 * day, separator, month name, separator, year ("/" separates when the year is negative, and
 * years up to 99 have four digits), then with a time "/" and the local time, and the zone when
 * it is not 0: 15-Jan-2020/10:30:00+01:00, 5/Jan/-0044.
 */
int32_t write_text(const cell* d, node_t out, int32_t limit) {
  uint32_t w = word_of(d);
  double time = get_double(d);
  int32_t year = cal::year_of(w);
  char sep = year < 0 ? '/' : '-';
  char text[48];
  int n = std::snprintf(text, sizeof text, "%d%c", cal::day_of(w), sep);
  string::append_ascii(out, std::string_view(text, static_cast<size_t>(n)));
  limit -= n + write_month(out, cal::month_of(w));
  if (year <= 99)
    n = std::snprintf(text, sizeof text, "%c%s%04d", sep, year < 0 ? "-" : "", std::abs(year));
  else
    n = std::snprintf(text, sizeof text, "%c%d", sep, year);
  string::append_ascii(out, std::string_view(text, static_cast<size_t>(n)));
  limit -= n;
  if (!cal::has_time(w)) return limit;
  string::append_ascii(out, "/");
  uint32_t zone = cal::zone_of(w);
  // A local time a hair below midnight would show as 24:00:00, which is no date text: keep it
  // in the day (the six digits of the seconds show 59.9999).
  double local = cal::to_local(time, zone);
  if (local > 86399.9999) local = 86399.9999;
  limit = time_type::write_text(out, local, limit - 1);
  if (zone == 0) return limit;
  n = std::snprintf(text, sizeof text, "%c%02u:%02u", (zone & cal::zone_sign_flag) ? '-' : '+',
                    (zone >> 2) & 0xF, (zone & 3) * 15);
  string::append_ascii(out, std::string_view(text, static_cast<size_t>(n)));
  return limit - n;
}

int32_t form(cell* v, cell* buffer, cell*, int32_t limit) {
  return write_text(v, series::node_of(buffer), limit);
}

int32_t mold(cell* v, cell* buffer, bool, bool, bool, cell*, int32_t limit, int32_t) {
  return write_text(v, series::node_of(buffer), limit);
}

// ---------------------------------------------------------------------------------------------
// Comparison and arithmetic

/*
 * Dates compare as instants: day number and UTC time together, the zone taking no part, so
 * 1-Jan-2020/1:00+2:00 comes before 31-Dec-2019/23:30. Times within the float tolerance count
 * as equal; same? asks for the same date and bit-identical times.
 */
int32_t compare(cell* a, cell* b, int32_t op) {
  if (type_of(b) != type::date) return -2;
  uint32_t wa = word_of(a), wb = word_of(b);
  double ta = get_double(a), tb = get_double(b);
  if (op == 9) {
    bool same = (wa & cal::date_mask) == (wb & cal::date_mask) &&
                std::memcmp(&a->data2, &b->data2, 8) == 0;
    return same ? 0 : 1;
  }
  ta += static_cast<double>(cal::to_days(wa) - cal::to_days(wb)) * seconds_per_day;
  if (float_type::near_equal(ta, tb)) return 0;
  return ta < tb ? -1 : 1;
}

// add and subtract: integer! days, time! seconds, and date - date in whole days.
void arith(bool subtract) {
  cell* a = stack::arguments;
  cell* b = a + 1;
  uint32_t w = word_of(a);
  int64_t days = cal::to_days(w);
  double time = get_double(a);
  bool has_time = cal::has_time(w);
  switch (type_of(b)) {
    case type::integer: {
      int64_t n = integer_type::value_of(b);
      days += subtract ? -n : n;
      break;
    }
    case type::time: {
      double s = get_double(b);
      time += subtract ? -s : s;
      has_time = true;
      break;
    }
    case type::date: {
      if (!subtract) fire_not_related(math::add, type::date);
      double span = static_cast<double>(days - cal::to_days(word_of(b))) * seconds_per_day +
                    (time - get_double(b));
      *a = cell{type::integer, 0,
                static_cast<uint32_t>(static_cast<int32_t>(std::floor(span / seconds_per_day))), 0};
      return;
    }
    default:
      fire_invalid_type(b);
  }
  store(a, days, time, cal::zone_of(w), has_time);
}

void subtract() { arith(true); }

/*
 * A random day between 1 March of year 0 and the day before the date (for a date before it,
 * between the day after the date and that first of March); with a time, a random zone and a
 * random local time of day in steps of 24 seconds.
 */
const cell* random_(cell* d, bool seed, bool secure, bool) {
  uint32_t w = word_of(d);
  if (seed) {
    random::seed(w + static_cast<uint32_t>(static_cast<int64_t>(get_double(d))));
    return unset_result(d);
  }
  int64_t days = cal::to_days(w);
  int32_t n = static_cast<int32_t>(days);
  int64_t drawn = n > 0 ? random::next_in_range(n, secure) - 1
                  : n < 0 ? random::next_in_range(n, secure) + 1 : 0;
  if (!cal::has_time(w)) {
    store(d, drawn, 0.0, 0, false);
    return d;
  }
  uint32_t bits = static_cast<uint32_t>(secure ? random::secure_next() : random::next());
  uint32_t zone = cal::pack_zone(bits & cal::zone_sign_flag, (bits >> 2) & 0xF, (bits & 3) * 15);
  double local = (random::next_in_range(3600, secure) - 1) * 24.0;
  store(d, drawn, cal::to_utc(local, zone), zone, true);
  return d;
}

}  // namespace

void add() { arith(false); }

void store(cell* d, int64_t days, double utc_time, uint32_t zone, bool has_time) {
  if (!has_time) {
    utc_time = 0.0;
  } else if (!cal::shift_by_zone(days, utc_time, zone)) {
    fire_with_type(err::script_type_limit, type::date);
  }
  if (!cal::days_fit(days)) fire_with_type(err::script_type_limit, type::date);
  d->header = type::date;
  d->data1 = cal::word_from_days(days, zone, has_time);
  put_double(d, utc_time);
}

cell* init_cell(cell* c, int32_t year, int32_t month, int32_t day, bool has_time,
                double local_seconds, bool zone_negative, uint32_t zone_hours,
                uint32_t zone_minutes) {
  set_type(c, type::date);
  if (!has_time) {
    c->data1 = cal::pack(year, month, day, false, 0);
    put_double(c, 0.0);
    return c;
  }
  uint32_t zone = cal::pack_zone(zone_negative, zone_hours, zone_minutes);
  c->data1 = cal::pack(year, month, day, true, zone);
  put_double(c, cal::to_utc(local_seconds, zone));
  return c;
}

cell* init_cell_utc(cell* c, int32_t year, int32_t month, int32_t day, int32_t hour,
                    int32_t minute, int32_t second, int32_t nanoseconds) {
  double t = hour * 3600.0 + minute * 60.0 + second + nanoseconds * 1e-9;
  return init_cell(c, year, month, day, true, t, false, 0, 0);
}

cell* push(uint32_t date_word, double time) {
  cell* c = stack::reserve_cell();
  *c = cell{type::date, date_word, 0, 0};
  put_double(c, time);
  return c;
}

double to_epoch_seconds(const cell* d) {
  double days = static_cast<double>(cal::to_days(word_of(d)) - cal::to_days(1970, 1, 1));
  return days * seconds_per_day + std::floor(get_double(d) + 0.5);
}

cell* epoch_value(const cell* d, cell* out) {
  double s = to_epoch_seconds(d);
  if (s >= -2147483648.0 && s <= 2147483647.0) {
    *out = cell{type::integer, 0, static_cast<uint32_t>(static_cast<int32_t>(s)), 0};
  } else {
    *out = cell{type::float_, 0, 0, 0};
    put_double(out, s);
  }
  return out;
}

cell* difference(cell* a, const cell* b) {
  double days = static_cast<double>(cal::to_days(word_of(a)) - cal::to_days(word_of(b)));
  double s = days * seconds_per_day + (get_double(a) - get_double(b));
  return time_type::init_cell(a, s);
}

namespace {

// ---------------------------------------------------------------------------------------------
// Paths and pick

int32_t element_index(const cell* e) {
  if (type_of(e) == type::integer) {
    int32_t i = integer_type::value_of(e);
    return i >= 1 && i <= field_count ? i : 0;
  }
  int32_t i = field_index(e);
  return i > 0 ? i : 0;
}

const cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t, bool,
                bool, bool) {
  int32_t index = element_index(element);
  if (index == 0) {
    cell e = *element;
    fire(err::script_invalid_path, path, &e);
  }
  if (!value) {
    get_field(parent, index, &path_result);
    return &path_result;
  }
  set_field(parent, index, value);
  return value;
}

const cell* pick(cell* d, int32_t number, cell* picked) {
  cell n;
  const cell* boxed = scalar::pick_index(picked, number, &n);
  int32_t index = element_index(boxed);
  if (index == 0) fire(err::script_out_of_range, boxed);
  cell out;
  get_field(d, index, &out);
  *d = out;
  return d;
}

}  // namespace

void init() {
  integer_type::hooks.from_date = epoch_value;
  registry::add(type::date, {.make = make,
                             .random = random_,
                             .to = to,
                             .form = form,
                             .mold = mold,
                             .eval_path = eval_path,
                             .compare = compare,
                             .add = add,
                             .subtract = subtract,
                             .pick = pick});
}

}  // namespace kaz::date_type

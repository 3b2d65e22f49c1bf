// Calendar arithmetic of the proleptic Gregorian calendar and the packed date word of date!.
#pragma once

#include <cstdint>

namespace kaz::calendar {

/*
 * The date word: year in bits 17-31 (signed, read with an arithmetic shift), has-time bit 16,
 * month bits 12-15, day bits 7-11, and the zone in bits 0-6: sign bit 6 (west of UTC), whole
 * hours bits 2-5, quarter hours bits 0-1. The sign covers the whole offset, so -0:30 keeps it.
 */
constexpr uint32_t has_time_flag = 0x10000;
constexpr uint32_t zone_mask = 0x7F;
constexpr uint32_t zone_sign_flag = 0x40;
constexpr uint32_t date_mask = 0xFFFEFF80;  // year, month and day: no flag, no zone
constexpr int32_t min_year = -16384;
constexpr int32_t max_year = 16383;

inline int32_t year_of(uint32_t w) { return static_cast<int32_t>(w) >> 17; }
inline int32_t month_of(uint32_t w) { return static_cast<int32_t>((w >> 12) & 0xF); }
inline int32_t day_of(uint32_t w) { return static_cast<int32_t>((w >> 7) & 0x1F); }
inline bool has_time(uint32_t w) { return (w & has_time_flag) != 0; }
inline uint32_t zone_of(uint32_t w) { return w & zone_mask; }

// The date word of a year (min_year..max_year), month (1-12) and day (1-31).
uint32_t pack(int32_t year, int32_t month, int32_t day, bool has_time, uint32_t zone);
// Zone bits from a sign and a magnitude in hours (0-15) and minutes (0-59, kept as quarters).
uint32_t pack_zone(bool negative, uint32_t hours, uint32_t minutes);

// Floor division and modulo: day arithmetic must not turn around at zero.
inline int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
inline int64_t floor_mod(int64_t a, int64_t b) { return a - floor_div(a, b) * b; }

bool leap_year(int32_t year);
int32_t days_in_month(int32_t year, int32_t month);

/*
 * Day numbers count days from 1 March of year 0 (day 0), negative before it. They come from
 * the March-based civil formula with floor divisions, so years before 0 are right too. A day
 * number is never stored, only used inside operations.
 */
int64_t to_days(int64_t year, int64_t month, int64_t day);
inline int64_t to_days(uint32_t w) { return to_days(year_of(w), month_of(w), day_of(w)); }
void from_days(int64_t days, int32_t& year, int32_t& month, int32_t& day);

// The day numbers whose year fits the date word.
int64_t min_days();
int64_t max_days();
inline bool days_fit(int64_t days) { return days >= min_days() && days <= max_days(); }

// The date word of a day number (which must fit), with zone bits and the has-time flag.
uint32_t word_from_days(int64_t days, uint32_t zone, bool has_time);

int64_t year_start(int32_t year);  // day number of 1 January
int32_t yearday(int64_t days, int32_t year);  // 1 for 1 January
int32_t weekday(int64_t days);  // 1 Monday ... 7 Sunday
// Day number of the Monday of ISO week 1; the weekday of 1 January (1 Monday) when asked.
int64_t isoweek_start(int32_t year, int32_t* jan1_weekday = nullptr);
int32_t isoweek(int64_t days, int32_t year);
int32_t week(int64_t days, int32_t year);  // weeks start on Sunday; week 1 holds 1 January
int64_t week_start(int32_t year, int32_t n);  // the Sunday that starts week n (1 January for n <= 1)

// The zone offset in seconds (negative west of UTC).
double zone_offset(uint32_t zone);
inline double to_local(double utc, uint32_t zone) { return utc + zone_offset(zone); }
inline double to_utc(double local, uint32_t zone) { return local - zone_offset(zone); }

/*
 * Carries whole days between the day number and a UTC time so that the local time (time plus
 * the zone offset) lies in [0, 86400). False when the time is not finite or the day number
 * leaves the date range; nothing is changed then.
 */
bool shift_by_zone(int64_t& days, double& time, uint32_t zone);

}  // namespace kaz::calendar

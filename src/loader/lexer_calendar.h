// The calendar arithmetic and date! cell packing the lexer needs, following the date! layout:
// day numbers count from 1 March of year 0 (proleptic Gregorian calendar).
#pragma once

#include <cstdint>

#include "datatypes/cell.h"

namespace kaz::lexer {

bool leap_year(int32_t year);
int32_t days_in_month(int32_t year, int32_t month);

// Day number of a date (March-based civil formula, truncating divisions).
int32_t to_days(int32_t year, int32_t month, int32_t day);
// The date of a day number.
void from_days(int32_t days, int32_t& year, int32_t& month, int32_t& day);

// Day number of the Monday of ISO week 1 of the year.
int32_t isoweek_start(int32_t year);

/*
 * The date word: year in bits 17-31 (signed), has-time bit 16, month bits 12-15, day bits
 * 7-11, zone sign bit 6 (west of UTC), zone hours bits 2-5, zone quarter hours bits 0-1.
 */
uint32_t date_word(int32_t year, int32_t month, int32_t day, bool has_time, bool zone_negative,
                   uint32_t zone_hours, uint32_t zone_quarters);

/*
 * A date! cell: data1 the date word, data2/data3 the time of day as a double. With a time, the
 * local time given is stored in UTC (local minus the zone offset); without one the time is 0
 * and the zone is dropped. The zone sign is passed on its own so that -0:30 keeps it.
 */
cell date_cell(int32_t year, int32_t month, int32_t day, bool has_time, double local_seconds,
               bool zone_negative, uint32_t zone_hours, uint32_t zone_minutes);

}  // namespace kaz::lexer

// The date! internals its field accessors share with the rest of the datatype.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::date_type {

// Writes a date from a day number and a UTC time: whole days are carried so that the local
// time lies within the day; type-limit when the date leaves the years the date word holds.
void store(cell* d, int64_t days, double utc_time, uint32_t zone, bool has_time);

/*
 * Fields by index: 1 date, 2 year, 3 month, 4 day, 5 zone, 6 time, 7 hour, 8 minute,
 * 9 second, 10 weekday, 11 yearday (also julian), 12 timezone, 13 week, 14 isoweek.
 */
constexpr int32_t field_count = 14;
int32_t field_index(const cell* word);  // -1 for another word
void get_field(const cell* d, int32_t index, cell* out);
// Replaces one field (invalid-arg for a value of the wrong type); the cell is written only
// when the new date is complete.
void set_field(cell* d, int32_t index, const cell* value);

}  // namespace kaz::date_type

// date!: a calendar date with an optional time of day and time zone.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::date_type {

/*
 * The cell: data1 the date word (calendar.h), data2/data3 the time of day as a double. The
 * date word holds the local date; the double holds the time in UTC, that is the local time
 * minus the zone offset, so the local time is the stored time plus the offset. Operations keep
 * the local time within the date word's day; the instant of a date is its day number times
 * 86400 plus the stored time. Without the has-time flag the time is 0 and the zone plays no
 * part in the text.
 */
inline uint32_t word_of(const cell* d) { return d->data1; }

// A date from its local fields: with a time, the local seconds are stored in UTC under the
// zone (sign and magnitude given apart, so -0:30 keeps its sign); without one the time is 0
// and the zone is dropped. Month and day are masked to their widths, nothing else is checked.
cell* init_cell(cell* c, int32_t year, int32_t month, int32_t day, bool has_time,
                double local_seconds, bool zone_negative, uint32_t zone_hours,
                uint32_t zone_minutes);
// A UTC date and time (zone 0) from its parts, as file times give them.
cell* init_cell_utc(cell* c, int32_t year, int32_t month, int32_t day, int32_t hour,
                    int32_t minute, int32_t second, int32_t nanoseconds);
cell* push(uint32_t date_word, double time);

// Seconds since 1-Jan-1970 UTC, the time rounded to the nearest second (halves up).
double to_epoch_seconds(const cell* d);
// The same as a value: integer! within 32 bits, else float! (as integer arithmetic overflows).
cell* epoch_value(const cell* d, cell* out);
// date - date as a time!: the first cell becomes the difference of the two instants.
cell* difference(cell* a, const cell* b);

// Stack slot of add (integer + date and time + date arrive here with the date first).
void add();

void init();

}  // namespace kaz::date_type

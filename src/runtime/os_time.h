// Clock, calendar and sleeping.
#pragma once

#include <cstdint>

namespace kaz::sysrt {

// Seconds since midnight UTC: whole seconds, or with `precise` to 100 ns.
double get_time(bool precise);

// Today's date packed as year << 17 | month << 12 | day << 7 | zone: the local date with the
// local zone, or with `utc` the UTC date with zone 0.
uint32_t get_local_time(bool utc);

/*
 * A zone offset packed in 7 bits: bits 0-1 the quarter hours, bits 2-5 the whole hours, bit 6
 * the sign (set west of Greenwich). The sign covers the whole offset, so -00:30 keeps it.
 */
uint32_t zone_code(int offset_minutes);
uint32_t pack_date(int year, int month, int day, uint32_t zone);

// Sleeps at least 1 ms: the seconds in whole milliseconds, with negative, tiny and NaN values
// taken as 1 ms and huge ones clamped to the longest sleep (just under 50 days). A pending
// interrupt ends it early.
void sleep(double seconds);
uint32_t sleep_millis(double seconds);

}  // namespace kaz::sysrt

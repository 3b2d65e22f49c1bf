// time!: a duration or a time of day, as a signed number of seconds in a double.
#pragma once

#include <cstdint>

#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::time_type {

/*
 * The cell keeps the seconds in data2/data3 like float!; data1 is not used. There is no upper
 * bound and no normalisation: 25:00:00 stays 90000 seconds. The sign belongs to the whole
 * duration, never to one field, so -1:30:00 has the fields hour -1, minute 30, second -0.0.
 */
cell* init_cell(cell* c, double seconds);  // keeps the header's flag bits
cell* push(double seconds);

// The fields of a number of seconds: whole hours toward zero, minutes within the hour of the
// magnitude (0-59), seconds within the minute with the value's sign and fraction.
double hours_of(double seconds);
int32_t minutes_of(double seconds);
double seconds_of(double seconds);

// Appends the text of a time (h:mm:ss[.f], "-" first when negative) to a string buffer;
// answers the limit reduced by the characters written.
int32_t write_text(node_t buffer, double seconds, int32_t limit);

// Field indexes: 1 hour, 2 minute, 3 second. A field word's index, else -1; with `value` a
// time!, an unknown word raises cannot-use (word, value) instead.
int32_t field_index(const cell* word, const cell* value = nullptr);
// A field's value: hour and minute as integer! (hour as float! beyond 32 bits), second as float!.
void get_field(double seconds, int32_t index, cell* out);
// The seconds after one field is replaced; invalid-arg for a value of the wrong type.
double set_field(double seconds, int32_t index, const cell* value);

void init();

}  // namespace kaz::time_type

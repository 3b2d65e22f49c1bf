// The scanning core of load-csv: comma-separated text to records of strings, entry 191 of the
// routines table (declared from 51-csv.kaz).
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::library::csv {

constexpr uint32_t scan_routine = 191;

/*
 * _scan-csv: data [string!] delimiter [char! string!] quote [char!] out [block!] flat [logic!]
 * header [logic!] strict [logic!] ignore-empty [logic!] -> integer!.
 * Appends the records of the text to `out`: one block of strings per line, or, with flat, the
 * strings themselves. A line break at the very end starts no further record. Answers 0, or -1
 * when strict and a line has another number of values than the first (the header line, with
 * header, not counted), or the line number of a quoted value that is not closed or that is
 * followed by anything but a delimiter or a line break.
 */
void scan(cell* arguments);

}  // namespace kaz::library::csv

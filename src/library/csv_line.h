// The writing core of to-csv: one line of escaped values, entry 192 of the routines table
// (declared from 51-csv.kaz).
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::library::csv {

constexpr uint32_t line_routine = 192;

/*
 * _csv-line: output [string!] data [block!] delimiter [char! string!] quote [char!] -> output.
 * Appends the values of the block, formed and joined by the delimiter, then a line feed. A value
 * that holds the quote character, a space, a line feed, a carriage return or a character of the
 * delimiter is written between quote characters, its quote characters doubled.
 */
void write_line(cell* arguments);

}  // namespace kaz::library::csv

// The writing core of to-json: Kaz values to JSON text, entry 193 of the routines table
// (declared from 50-json.kaz).
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::library::json {

constexpr uint32_t emit_routine = 193;

// Containers nested deeper than this (a block that holds itself, say) raise too-deep.
constexpr uint32_t max_emit_depth = 10000;

/*
 * _to-json: data [any-type!] indent [string! none!] ascii [logic!] -> a new string!.
 * Compact without an indent; with one, one value per line, indented by the indent repeated per
 * level. With ascii only the printable ASCII characters are written as they stand.
 */
void emit(cell* arguments);

}  // namespace kaz::library::json

// handle!: an opaque value of the runtime or the system (a window, a font, a native actor table)
// carried through the language as an index into the registry that owns it.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::handle_type {

/*
 * The cell: data1 the class, data2 the value (an index into the registry of its class), data3 the
 * external-resource slot that keeps the value alive (memory/resources.h), or -1 for none. Only
 * the value takes part in comparisons; the class names the kind when molded with /all.
 */
namespace class_ {
constexpr uint32_t null = 0;
constexpr uint32_t fd = 1;
constexpr uint32_t monitor = 2;
constexpr uint32_t window = 3;
constexpr uint32_t font = 4;
constexpr uint32_t rich_text = 5;
}  // namespace class_

// Makes the cell a handle! (no resource slot) and answers it.
cell* init_cell(cell* c, uint32_t value, uint32_t kind);
// The same into the result slot (stack::arguments).
cell* box(uint32_t value, uint32_t kind);
// Appends a handle! at a block's tail and answers it.
cell* append_cell(const cell* block, uint32_t value, uint32_t kind);
// Pushes a handle! on the evaluation stack; push_null pushes value 0 of class 0.
cell* push(uint32_t value, uint32_t kind);
cell* push_null();

void init();

}  // namespace kaz::handle_type

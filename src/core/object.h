// object!: a context whose owner is the object value itself; error! and port! share its layout.
#pragma once

#include <cstdint>

#include "datatypes/cell.h"
#include "memory/series.h"

namespace kaz::object {

/*
 * An object cell: data1 the context node (kind 2), data2 the class id (0 for objects the runtime
 * makes, -1 for the system words object, else a fresh id per new shape), data3 the on-set node
 * (its on-change* and on-deep-change* handlers) or 0.
 */
void make_empty_at(cell* c, uint32_t capacity);
uint32_t next_class_id();

// Stores a value into a field, calling the object's on-change* handler with the old and new
// values when it has one.
void set_field_with_hook(node_t ctx, uint32_t index, const cell* value);

void init();  // registers object!

}  // namespace kaz::object

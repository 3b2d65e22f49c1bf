// Dynamic arrays: growable arrays of plain elements kept in an ordinary series, so the collector
// moves and reclaims them like any other (reach them through their node; element pointers are
// not kept across appends).
#pragma once

#include <cstdint>

#include "memory/series.h"

namespace kaz::dyn_array {

// Element widths: 1 for bytes, 4 for 32-bit integers, 8 for pointers (into the C++ heap, never
// into collector memory).
constexpr uint32_t pointer_width = sizeof(uintptr_t);

node_t make(uint32_t count, uint32_t width);  // room for count elements (16 bytes when 0)
uint32_t length(node_t array);
void clear(node_t array);
void truncate(node_t array, uint32_t n);  // keeps the first n - 1 elements
node_t copy(node_t array);
uint32_t flags(node_t array);

void append_byte(node_t array, uint8_t byte);
void append_bytes(node_t array, const void* source, uint32_t n);
void append_int(node_t array, int32_t value);
void append_pointer(node_t array, uintptr_t value);

// Positions are 1-based; outside the array pick answers 0 and poke does nothing.
int32_t pick_int(node_t array, uint32_t index);
uintptr_t pick_pointer(node_t array, uint32_t index);
void poke_int(node_t array, uint32_t index, int32_t value);

// Byte offset of the first occurrence from the start of data, -1 when absent.
int64_t find_int(node_t array, int32_t value);
int64_t find_pointer(node_t array, uintptr_t value);

// Removes n bytes at a byte offset (clipped to the array), moving the rest down.
void remove_bytes(node_t array, uint32_t offset, uint32_t n);
// Removes the first occurrence; answers its byte offset, or -1 when absent.
int64_t remove_pointer(node_t array, uintptr_t value);

}  // namespace kaz::dyn_array

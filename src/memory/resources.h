// The external-resource registry: ties objects outside collector memory (image bitmaps, say)
// to a release callback that the collector runs when no value holds them any more.
#pragma once

#include <cstdint>

namespace kaz::memory::resources {

// Called with the handle of a resource nobody holds. It runs inside a collection: it must not
// allocate series, throw or run Kaz code.
using release_fn = void (*)(uint32_t handle);

constexpr uint32_t max_kinds = 20;
constexpr uint32_t first_slots = 1000;
constexpr uint32_t max_slots = 1u << 22;
constexpr uint32_t kind_mask = 0xFF;
constexpr uint32_t free_word = 0x40000000;
constexpr uint32_t mark_bit = 0x80000000;
constexpr int32_t list_end = -1;

// The slot table of first_slots free slots (the first add does it when start-up has not).
void init();

// Kinds are numbered from 1 in registration order; 0 once max_kinds are registered.
uint32_t register_kind(const char* name, release_fn release);
const char* kind_name(uint32_t kind);

// A used slot (0-based index) holding the handle; its kind word carries the kind number.
// The slot table doubles when its last free slot is taken; indexes held by values stay valid.
// Past max_slots it raises internal limit-hit.
uint32_t add(uint32_t handle, uint32_t kind_word);

// Runs the kind's callback on the handle (nothing for kind 0 or no callback).
void release(uint32_t kind_word, uint32_t handle);
void release_slot(uint32_t slot);
// Stores a new handle, releasing the old one when it differs.
void replace(uint32_t slot, uint32_t handle);
// Frees the slot (releasing its handle first when asked); answers -1.
int32_t remove(uint32_t slot, bool release_handle);

// Collector: marks the slot (a non-zero handle replaces the stored one); true when it was not
// marked before. Indexes outside the table or of free slots are ignored.
bool mark(uint32_t slot, uint32_t handle);
// Collector, after marking: every unmarked used slot is released and freed; marks cleared.
void sweep();

// Calls fn(handle) for every used slot of the kind, newest first.
void for_each(uint32_t kind, void (*fn)(uint32_t handle));

// For tests and statistics.
uint32_t capacity();
uint32_t handle_of(uint32_t slot);
uint32_t kind_word_of(uint32_t slot);
int32_t used_head();

}  // namespace kaz::memory::resources

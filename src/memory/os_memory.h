// Virtual memory straight from the operating system: the regions behind series frames, big
// series and the node table.
#pragma once

#include <cstdint>

namespace kaz::memory::os {

// Bytes currently mapped for frames and big series (the node table's reservation not counted).
extern int64_t bytes_taken;

uint64_t page_size();
uint64_t round_to_pages(uint64_t bytes);

// A zero-filled read-write region of at least `bytes`; nullptr when the system refuses.
void* try_map(uint64_t bytes);
// The same, raising internal no-memory when the system refuses.
void* map(uint64_t bytes);
// Gives a region back; raises internal wrong-mem when the system refuses.
void unmap(void* base, uint64_t bytes);

// An inaccessible range of address space, committed piece by piece below.
void* reserve(uint64_t bytes);
bool commit(void* at, uint64_t bytes);
// Returns the pages to the system and makes the range inaccessible again.
void decommit(void* at, uint64_t bytes);

}  // namespace kaz::memory::os

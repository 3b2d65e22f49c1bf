// What the parts of the collector share (collector.cpp runs them in order).
#pragma once

#include <vector>

#include "memory/series.h"

namespace kaz::collector::internal {

// Empties the mark stack, marking everything reachable from what it holds.
void drain();

// What the native-stack scan found: node ids in use (their frames flagged on_stack) and
// buffers that pointers point into (flagged pinned).
struct stack_finds {
  std::vector<node_t> nodes;
  std::vector<series_buffer*> pinned;
};
// Scans the calling thread's stack from the current stack pointer up to `top`.
void scan_native_stack(const void* top, stack_finds& out);

// Bytes the heap may grow by before the next collection, given what is live.
uint64_t growth_allowance(uint64_t live);

// Slides live buffers together (or, with move_all, moves every unpinned one), fixes their
// nodes, releases the nodes of dead buffers, sweeps big and retired fixed series, clears
// every mark and pin.
void compact(bool move_all);

}  // namespace kaz::collector::internal

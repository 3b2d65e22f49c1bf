// Figures about the heap, for `stats` and `recycle`: per frame, per big series, in total.
#pragma once

#include <cstdint>
#include <vector>

namespace kaz::memory::figures {

struct frame_figure {
  uint64_t free;
  uint64_t used;
  uint64_t capacity;
};

// Node frames in slots, series frames in bytes of their data areas, in list order.
std::vector<frame_figure> node_frames();
std::vector<frame_figure> series_frames();
// Data bytes of each big series.
std::vector<uint64_t> big_series();

// Bytes a node takes in the node table.
constexpr uint64_t node_bytes = sizeof(uintptr_t);

// Bytes in use: every used node, the used part of every series frame, every big series.
uint64_t bytes_in_use();
// Bytes taken from the system for node frames, series frames and big series.
uint64_t os_bytes();

}  // namespace kaz::memory::figures

#include "memory/heap_figures.h"

#include "memory/node_frames.h"
#include "memory/os_memory.h"
#include "memory/series_frames.h"

namespace kaz::memory::figures {

std::vector<frame_figure> node_frames() {
  std::vector<frame_figure> out;
  for (uint32_t f = 0; f < nodes::frames_end; ++f) {
    const nodes::node_frame& fr = nodes::frames[f];
    if (fr.in_use) out.push_back({nodes::frame_capacity - fr.used, fr.used, nodes::frame_capacity});
  }
  return out;
}

std::vector<frame_figure> series_frames() {
  std::vector<frame_figure> out;
  for (frames::series_frame* f : frames::list)
    out.push_back({uint64_t(f->end - f->bump), uint64_t(f->bump - f->start),
                   uint64_t(f->end - f->start)});
  return out;
}

std::vector<uint64_t> big_series() {
  std::vector<uint64_t> out;
  for (frames::big_series* b = frames::big_head; b; b = b->next) out.push_back(b->buffer()->size);
  return out;
}

uint64_t bytes_in_use() {
  uint64_t n = nodes::used_slots() * node_bytes;
  for (frames::series_frame* f : frames::list) n += uint64_t(f->bump - f->start);
  for (frames::big_series* b = frames::big_head; b; b = b->next)
    n += frames::occupied(b->buffer());
  return n;
}

uint64_t os_bytes() {
  uint64_t node_frame_bytes = os::round_to_pages(nodes::frame_capacity * node_bytes);
  uint64_t n = uint64_t(os::bytes_taken);
  for (uint32_t f = 0; f < nodes::frames_end; ++f)
    if (nodes::frames[f].in_use) n += node_frame_bytes;
  return n;
}

}  // namespace kaz::memory::figures

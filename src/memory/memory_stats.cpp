#include "memory/memory_stats.h"

#include <vector>

#include "memory/collector.h"
#include "memory/node_frames.h"
#include "memory/series_frames.h"
#include "runtime/runtime_record.h"
#include "runtime/tracked_alloc.h"

namespace kaz::memory {

namespace {

// The figures are read first, then written: appending allocates, which may add frames.
struct triple_figure {
  double free, used, capacity;
};
struct figures {
  std::vector<triple_figure> nodes, frames;
  std::vector<double> big;
  double in_use = 0, system = 0, tracked = 0;
};

figures read_figures() {
  figures f;
  for (uint32_t i = 0; i < nodes::frames_end; ++i) {
    const nodes::node_frame& n = nodes::frames[i];
    if (!n.in_use) continue;
    double used = n.used;
    f.nodes.push_back({nodes::frame_capacity - used, used, double(nodes::frame_capacity)});
    f.in_use += used * sizeof(uintptr_t);
    f.system += double(nodes::frame_capacity) * sizeof(uintptr_t) + sizeof(nodes::node_frame);
  }
  for (frames::series_frame* s : frames::list) {
    double used = double(s->bump - s->start);
    f.frames.push_back({double(s->end - s->bump), used, double(s->end - s->start)});
    f.in_use += used;
    f.system += double(s->map_bytes);
  }
  for (frames::big_series* b = frames::big_head; b; b = b->next) {
    f.big.push_back(double(b->buffer()->size));
    f.in_use += double(b->buffer()->size);
    f.system += double(b->map_bytes);
  }
  for (sysrt::tracked_block* t = sysrt::runtime.tracked.head; t; t = t->next)
    f.tracked += double(t->size) + sizeof(sysrt::tracked_block);
  f.system += f.tracked;
  return f;
}

cell* append_line(node_t block, const cell& c) {
  cell* to = append_cell(block);
  *to = c;
  to->header |= new_line_flag;
  return to;
}

node_t append_block(node_t block) {
  node_t inner = alloc_cells(4);
  append_line(block, cell{type::block, 0, inner, 0});
  return inner;
}

void append_triples(node_t block, const std::vector<triple_figure>& rows) {
  node_t outer = append_block(block);
  for (const triple_figure& r : rows) {
    node_t row = append_block(outer);
    for (double x : {r.free, r.used, r.capacity}) stats_append_number(row, x);
  }
}

}  // namespace

void stats_append_number(node_t block, double figure) {
  cell c{type::integer, 0, 0, 0};
  if (figure <= 2147483647.0) {
    c.data2 = static_cast<uint32_t>(static_cast<int32_t>(figure));
  } else {
    c.header = type::float_;
    put_double(&c, figure);
  }
  *append_cell(block) = c;
}

double stats(node_t block, int mode) {
  bool was = collector::active();
  collector::set_active(false);
  figures f = read_figures();
  if (mode >= 2 && block) {
    append_triples(block, f.nodes);
    append_triples(block, f.frames);
    node_t big = append_block(block);
    for (double b : f.big) {
      stats_append_number(big, b);
      buffer_of(big)->cells_tail_rw()[-1].header |= new_line_flag;
    }
    stats_append_number(block, f.system);
    stats_append_number(block, f.tracked);
  }
  collector::set_active(was);
  return f.in_use;
}

}  // namespace kaz::memory

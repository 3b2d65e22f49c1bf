/*
 * Compaction: live buffers slide down within their frame or into the free end of an earlier
 * frame; a pinned buffer stays where it is and the space before it becomes a filler (a dead
 * header whose size covers the gap), so a frame can always be walked from buffer to buffer.
 * Runs of adjacent buffers going to adjacent places move with one memmove. A moved buffer's
 * node is pointed at its new place; the node of a dead buffer goes back to its frame. With
 * move_all (the torture switch) every unpinned buffer is copied into fresh frames instead, so
 * a stale pointer anywhere shows at once.
 */
#include <algorithm>
#include <cstring>

#include "memory/gc_internal.h"
#include "memory/heap_check.h"
#include "memory/node_frames.h"
#include "memory/os_memory.h"
#include "memory/series_frames.h"
#include "runtime/tracked_alloc.h"

namespace kaz::collector::internal {

namespace {

using memory::frames::big_series;
using memory::frames::series_frame;
namespace frames = memory::frames;
namespace nodes = memory::nodes;
namespace check = memory::check;

uint64_t room(const series_frame* f) { return uint64_t(f->end - f->bump); }

void release_dead(series_buffer* b) {
  node_t n = b->node;
  if (n && nodes::in_use(n) && memory::buffer_of(n) == b) nodes::free(n);
}

// A pending move of adjacent buffers to adjacent places.
struct run {
  uint8_t* from = nullptr;
  uint8_t* to = nullptr;
  uint64_t bytes = 0;

  void flush() {
    if (bytes && from != to) {
      check::expose(to, bytes);
      std::memmove(to, from, bytes);
    }
    bytes = 0;
  }
  void add(uint8_t* src, uint8_t* dst, uint64_t n) {
    if (bytes && from + bytes == src && to + bytes == dst) {
      bytes += n;
      return;
    }
    flush();
    from = src, to = dst, bytes = n;
  }
};

// Where buffers leaving their frame go: the free end of the frame before (normal mode, while
// it has more than min_room left), or fresh frames (move_all).
struct outside {
  bool move_all;
  series_frame* spill = nullptr;
  std::vector<series_frame*> fresh;

  uint8_t* take(uint64_t bytes) {
    if (move_all) {
      if (fresh.empty() || room(fresh.back()) < bytes) {
        series_frame* f = make_fresh();
        if (!f) return nullptr;
        fresh.push_back(f);
      }
      return bump(fresh.back(), bytes);
    }
    if (!spill || room(spill) < bytes) return nullptr;
    uint8_t* p = bump(spill, bytes);
    if (room(spill) <= frames::min_room) spill = nullptr;
    return p;
  }

  static uint8_t* bump(series_frame* f, uint64_t bytes) {
    uint8_t* p = f->bump;
    f->bump += bytes;
    frames::mark_start(f, p);
    return p;
  }

  // A frame not yet on the list: the list is being walked.
  static series_frame* make_fresh() {
    series_frame* f = frames::new_frame(frames::largest_frame_size, true);
    if (f) frames::list.erase(std::find(frames::list.begin(), frames::list.end(), f));
    return f;
  }
};

void write_filler(series_frame* f, uint8_t* at, uint64_t bytes) {
  auto* h = reinterpret_cast<series_buffer*>(at);
  h->flags = series_flag::always;
  h->node = 0;
  h->size = uint32_t(bytes - frames::header_bytes);
  h->offset.start(0);
  h->tail.start(0);
  check::fill(h->data_rw(), h->size, check::freed_byte);
  h->stamp = 0;
  check::hide(h->data(), h->size);
  frames::mark_start(f, at);
}

// Compacts one frame; answers whether anything stays in it.
bool compact_frame(series_frame* f, outside& out, run& moves) {
  uint8_t* old_bump = f->bump;
  check::expose(f->start, uint64_t(old_bump - f->start));
  frames::clear_starts(f);
  uint8_t* cursor = f->start;
  bool kept = false;
  for (uint8_t* p = f->start; p < old_bump;) {
    auto* b = reinterpret_cast<series_buffer*>(p);
    uint64_t bytes = frames::occupied(b);
    p += bytes;
    if (!(b->flags & series_flag::mark)) {
      release_dead(b);
      continue;
    }
    if (b->flags & series_flag::pinned) {
      b->flags &= ~(series_flag::mark | series_flag::pinned);
      moves.flush();
      auto* here = reinterpret_cast<uint8_t*>(b);
      if (cursor < here) write_filler(f, cursor, uint64_t(here - cursor));
      frames::mark_start(f, here);
      cursor = here + bytes;
      kept = true;
      continue;
    }
    b->flags &= ~series_flag::mark;
    uint8_t* to = out.take(bytes);
    if (!to) {
      to = cursor;
      cursor += bytes;
      frames::mark_start(f, to);
      kept = true;
    }
    *nodes::slot_of(b->node) = reinterpret_cast<uintptr_t>(to);
    moves.add(reinterpret_cast<uint8_t*>(b), to, bytes);
  }
  moves.flush();
  f->bump = cursor;
  check::fill(cursor, uint64_t(old_bump - cursor), check::freed_byte);
  check::hide(cursor, uint64_t(f->end - cursor));
  return kept;
}

/*
 * Empty frames are kept while the free room of all frames stays within what the heap grows by
 * before the next collection (collector::growth_allowance): allocation then reuses memory that
 * is already mapped and touched instead of mapping fresh pages after every collection. The rest
 * go back to the system.
 */
void release_spare_frames() {
  uint64_t allowance = growth_allowance(frames::used_bytes()) + frames::largest_frame_size;
  uint64_t free_room = 0;
  auto& list = frames::list;
  for (size_t i = 0; i < list.size();) {
    series_frame* f = list[i];
    if (f->bump == f->start && free_room + room(f) > allowance && list.size() > 1) {
      frames::free_frame(f);
      continue;
    }
    free_room += room(f);
    ++i;
  }
}

void compact_frames(bool move_all) {
  outside out{move_all};
  run moves;
  auto& list = frames::list;
  for (size_t i = 0; i < list.size();) {
    series_frame* f = list[i];
    bool kept = compact_frame(f, out, moves);
    // Under move_all the old places go back at once, so stale pointers fault.
    if (!kept && move_all && (list.size() > 1 || !out.fresh.empty())) {
      frames::free_frame(f);
      continue;
    }
    if (!move_all) out.spill = room(f) > frames::min_room ? f : nullptr;
    ++i;
  }
  for (series_frame* f : out.fresh) frames::insert_frame(f);
  release_spare_frames();
  frames::current = nullptr;
  for (series_frame* f : list)
    if (room(f) >= frames::min_room) {
      frames::current = f;
      break;
    }
  if (!frames::current && !list.empty()) frames::current = list.back();
}

void sweep_big(bool move_all) {
  for (big_series* b = frames::big_head; b;) {
    big_series* next = b->next;
    series_buffer* s = b->buffer();
    if (!(s->flags & series_flag::mark)) {
      release_dead(s);
      frames::free_big(b);
    } else {
      bool pinned = s->flags & series_flag::pinned;
      s->flags &= ~(series_flag::mark | series_flag::pinned);
      if (move_all && !pinned) frames::move_big(b);
    }
    b = next;
  }
}

void sweep_fixed() {
  for (series_buffer* b : frames::fixed) b->flags &= ~(series_flag::mark | series_flag::pinned);
  auto& retired = frames::retired;
  size_t kept = 0;
  for (series_buffer* b : retired) {
    if (b->flags & series_flag::pinned) {
      b->flags &= ~series_flag::pinned;
      retired[kept++] = b;
    } else {
      sysrt::free(b);
    }
  }
  retired.resize(kept);
}

}  // namespace

void compact(bool move_all) {
  compact_frames(move_all);
  sweep_big(move_all);
  sweep_fixed();
}

}  // namespace kaz::collector::internal

// Series buffers: sizes, head room, the big-series threshold, growth, copies and stamps.
#include "memory/series.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "memory/collector.h"
#include "memory/heap_figures.h"
#include "memory/series_frames.h"
#include "memory/stamp_check.h"
#include "runtime/fire.h"

namespace kaz::memory {
namespace {

struct size_case {
  uint32_t count, unit;
  int32_t offset;
  uint32_t size, start;  // data bytes and offset expected
  bool big, head_room;
};

TEST(Series, SizesOffsetsAndTheBigThreshold) {
  const size_case cases[] = {
      {1, 1, 0, 16, 0, false, false},
      {17, 1, 0, 32, 0, false, false},
      {3, 16, 0, 48, 0, false, false},
      {64, 1, -1, 64, 32, false, true},           // head room: the middle of the data area
      {3, 16, -1, 48, 16, false, true},           // head room keeps cells whole
      {10, 4, 3, 48, 12, false, false},           // offset in units
      {2097120, 1, 0, 2097120, 0, false, false},  // need 2097144 still fits a frame
      {2097121, 1, 0, 2097136, 0, true, false},   // rounded up, need 2097160: a big series
  };
  for (const size_case& c : cases) {
    series_buffer* b = buffer_of(new_series(c.count, c.unit, c.offset));
    SCOPED_TRACE(c.count);
    EXPECT_EQ(b->size, c.size);
    EXPECT_EQ(b->offset, c.start);
    EXPECT_EQ(b->tail, c.start);
    EXPECT_EQ(b->unit(), c.unit);
    EXPECT_EQ(bool(b->flags & series_flag::big), c.big);
    EXPECT_EQ(bool(b->flags & series_flag::head_room), c.head_room);
    EXPECT_TRUE(b->flags & series_flag::live);
    EXPECT_TRUE(b->flags & series_flag::always);
  }
}

TEST(Series, ZeroCountsAskForSixteenBytes) {
  EXPECT_EQ(buffer_of(alloc_bytes(0))->size, 16u);
  EXPECT_EQ(buffer_of(alloc_units(0, 2))->size / 2, 8u);
  EXPECT_EQ(buffer_of(alloc_units(0, 4))->size / 4, 4u);
  series_buffer* f = buffer_of(alloc_bytes_filled(20, 0xAB));
  for (uint32_t i = 0; i < f->size; ++i) ASSERT_EQ(f->data()[i], 0xAB);
  series_buffer* c = buffer_of(alloc_cells_cleared(5));
  EXPECT_EQ(c->length(), 0u);
  const cell* cells = reinterpret_cast<const cell*>(c->data());
  for (uint32_t i = 0; i < c->size / 16; ++i) EXPECT_EQ(cells[i].header, uint32_t(type::unset));
}

TEST(Series, ImpossibleSizesRaiseNoMemory) {
  auto raises_no_memory = [](auto&& f) {
    try {
      f();
    } catch (const language_error& e) {
      return e.id == err::internal_no_memory;
    }
    return false;
  };
  EXPECT_TRUE(raises_no_memory([] { new_series(0xFFFFFFFFu, 16, 0); }));
  EXPECT_TRUE(raises_no_memory([] { new_series(0x80000001u, 1, 0); }));
  series_buffer* b = buffer_of(alloc_bytes(16));
  EXPECT_TRUE(raises_no_memory([b] { reserve_tail(b, 0xFFFFFFF0u); }));
}

TEST(Series, GrowthMovesTheNodeAndLeavesTheOldBufferDead) {
  node_t n = alloc_bytes(16);
  series_buffer* old = buffer_of(n);
  std::memcpy(reserve_tail(old, 5)->head_rw(), "hello", 5);
  series_buffer* grown = expand_series_copy(buffer_of(n), 100);
  EXPECT_EQ(buffer_of(n), grown);
  EXPECT_EQ(grown->node, n);
  EXPECT_GE(grown->size, 100u);
  EXPECT_EQ(grown->used_bytes(), 5u);
  EXPECT_EQ(std::memcmp(grown->head(), "hello", 5), 0);
  EXPECT_EQ(old->node, 0u);
  EXPECT_FALSE(old->flags & series_flag::live);

  // Doubling, also from an empty data area; never below what is in use.
  series_buffer* empty = buffer_of(new_series(0, 1, 0));
  EXPECT_EQ(empty->size, 0u);
  EXPECT_EQ(expand_series(empty, 0)->size, 16u);
  EXPECT_EQ(expand_series(buffer_of(n), 2)->size, 16u);

  series_buffer* bits = reserve_tail(buffer_of(alloc_bytes_filled(16, 1)), 16);  // all in use
  series_buffer* filled = expand_series_fill(bits, 64, 7);
  EXPECT_EQ(filled->data()[15], 1);
  EXPECT_EQ(filled->data()[16], 7);
  EXPECT_EQ(filled->data()[63], 7);
}

TEST(Series, ReserveTailGrowsAsNeeded) {
  series_buffer* a = buffer_of(alloc_bytes(64));
  a = reserve_tail(a, 100);  // more than the size: twice the request
  EXPECT_GE(a->size, 200u);
  EXPECT_LT(a->size, 256u);
  EXPECT_EQ(a->used_bytes(), 100u);

  series_buffer* b = buffer_of(alloc_bytes(64));
  b = reserve_tail(b, 64);
  EXPECT_EQ(b->size, 64u);
  b = reserve_tail(b, 10);  // full: doubling
  EXPECT_EQ(b->size, 128u);
  EXPECT_EQ(b->used_bytes(), 74u);
}

TEST(Series, AppendCellGrowsTheBlock) {
  node_t block = alloc_cells(1);
  for (uint32_t i = 0; i < 100; ++i) {
    cell* c = append_cell(block);
    EXPECT_EQ(c->header, uint32_t(type::unset));
    c->header = type::integer;
    c->data2 = i;
  }
  series_buffer* b = buffer_of(block);
  ASSERT_EQ(b->length(), 100u);
  for (uint32_t i = 0; i < 100; ++i) EXPECT_EQ(b->cells()[i].data2, i);
  cell holder{type::block, 0, block, 0};
  append_to_block(&holder)->data2 = 42;
  EXPECT_EQ(buffer_of(block)->length(), 101u);
}

TEST(Series, CopiesKeepTheUsedPart) {
  node_t n = new_series(32, 2, 4);
  series_buffer* s = reserve_tail(buffer_of(n), 10);
  for (uint32_t i = 0; i < 10; ++i) s->head_rw()[i] = uint8_t('a' + i);
  s->flags |= series_flag::owned;

  series_buffer* whole = buffer_of(copy_series(buffer_of(n)));
  EXPECT_EQ(whole->size, s->size);
  EXPECT_EQ(whole->unit(), 2u);
  EXPECT_EQ(whole->used_bytes(), 10u);
  EXPECT_EQ(std::memcmp(whole->head(), "abcdefghij", 10), 0);

  series_buffer* part = buffer_of(copy_part(buffer_of(n), 1, 3));  // units of 2 bytes
  EXPECT_EQ(part->length(), 3u);
  EXPECT_EQ(std::memcmp(part->head(), "cdefgh", 6), 0);
  EXPECT_FALSE(part->flags & series_flag::owned);

  series_buffer* clipped = buffer_of(copy_part(buffer_of(n), 4, 100));
  EXPECT_EQ(clipped->length(), 1u);
  EXPECT_EQ(buffer_of(copy_part(buffer_of(n), 9, 1))->length(), 0u);
}

TEST(Series, FixedSeriesNeverMoveAndGrowIntoFixedBuffers) {
  node_t n = alloc_fixed_series(4, 16, 0);
  series_buffer* f = buffer_of(n);
  EXPECT_TRUE(f->flags & series_flag::fixed);
  for (int i = 0; i < 4; ++i) append_cell(n)->data2 = uint32_t(i);
  append_cell(n)->data2 = 4;  // grows
  series_buffer* g = buffer_of(n);
  EXPECT_NE(g, f);
  EXPECT_TRUE(g->flags & series_flag::fixed);
  EXPECT_EQ(g->length(), 5u);
  collector::collect();
  EXPECT_EQ(buffer_of(n), g);
  EXPECT_EQ(g->cells()[4].data2, 4u);
}

TEST(Series, FramesGrowFromOneToTwoMegabytesWithTheCollectorOff) {
  collector::set_active(false);
  size_t frames_before = frames::list.size();
  while (frames::list.size() < frames_before + 2) alloc_bytes(40000);
  int small = 0;
  for (frames::series_frame* f : frames::list) {
    uint64_t size = uint64_t(f->end - f->start);
    if (size == frames::first_frame_size)
      ++small;
    else
      EXPECT_EQ(size, frames::largest_frame_size);
  }
  EXPECT_LE(small, 1);
  EXPECT_EQ(frames::next_frame_size, frames::largest_frame_size);
}

TEST(Series, FiguresCountNodesAndBuffers) {
  init();
  collector::set_active(false);
  uint64_t before = figures::bytes_in_use();
  alloc_bytes(64);  // a node, a 24-byte header and 64 data bytes
  EXPECT_EQ(figures::bytes_in_use(), before + figures::node_bytes + 88);
  uint64_t frames = 0;
  for (const auto& f : figures::series_frames()) {
    EXPECT_EQ(f.free + f.used, f.capacity);
    frames += f.capacity;
  }
  EXPECT_GE(figures::os_bytes(), frames);
}

// Reads keep a buffer's stamp; every way of writing renews it, growth carries it on, and the
// stamps one node shows never repeat; a wrap changes the epoch.
TEST(Series, StampsChangeWithEveryWrite) {
  node_t a = alloc_cells(4);
  series_buffer* s = buffer_of(a);
  std::vector<uint32_t> seen{s->stamp};
  auto renewed = [&](const char* how) {
    SCOPED_TRACE(how);
    uint32_t now = buffer_of(a)->stamp;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), now), 0);
    seen.push_back(now);
  };
  (void)s->cells();
  (void)s->head();
  (void)s->length();
  EXPECT_EQ(s->stamp, seen.back());
  append_cell(a);
  renewed("append");
  buffer_of(a)->cells_rw()[0].header = type::none;
  renewed("cells_rw");
  buffer_of(a)->tail -= 16;
  renewed("tail");
  buffer_of(a)->offset = buffer_of(a)->tail;
  renewed("offset");
  expand_series(buffer_of(a), 0);
  renewed("growth");
  expand_series_copy(buffer_of(a), 0);
  renewed("growth with a copy");

  uint32_t epoch = stamp_epoch();
  buffer_of(a)->stamp = 0xFFFFFFFF;
  (void)buffer_of(a)->cells_rw();
  EXPECT_NE(stamp_epoch(), epoch);
}

// The checker stops a process where a block changed while its stamp stayed: here a pointer
// taken for writing before the block was run, written through after it.
TEST(SeriesDeathTest, StampCheckFindsAWriteThatSkippedTheStamp) {
  node_t a = alloc_cells(2);
  append_cell(a);
  stamp_check::check(a);  // remembered as it is
  append_cell(a);
  stamp_check::check(a);  // changed with a new stamp: sound
  cell* kept = buffer_of(a)->cells_rw();
  stamp_check::check(a);
  kept[0].header = type::none;
  EXPECT_DEATH(stamp_check::check(a), "changed without a new stamp");
}

}  // namespace
}  // namespace kaz::memory

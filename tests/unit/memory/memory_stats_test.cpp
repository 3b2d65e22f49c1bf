// The memory figures of `stats`.
#include "memory/memory_stats.h"

#include <gtest/gtest.h>

using namespace kaz;

TEST(MemoryStats, FiguresAddUp) {
  memory::alloc_bytes(64);
  double in_use = memory::stats(0, 1);
  EXPECT_GT(in_use, 64.0);
  node_t block = memory::alloc_cells(8);
  double again = memory::stats(block, 2);
  EXPECT_GE(again, in_use);
  series_buffer* b = memory::buffer_of(block);
  ASSERT_EQ(b->length(), 5u);
  const cell* c = b->cells();
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(type_of(c + i), uint32_t(type::block));
    EXPECT_TRUE(c[i].header & new_line_flag);
  }
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(type_of(c + 0), uint32_t(type::block));
    series_buffer* rows = memory::buffer_of(c[i].data2);
    ASSERT_GE(rows->length(), 1u);
    for (uint32_t r = 0; r < rows->length(); ++r) {
      series_buffer* row = memory::buffer_of(rows->cells()[r].data2);
      ASSERT_EQ(row->length(), 3u);
      const cell* x = row->cells();
      EXPECT_EQ(int32_t(x[0].data2) + int32_t(x[1].data2), int32_t(x[2].data2));  // free + used
    }
  }
  EXPECT_EQ(type_of(c + 3), uint32_t(type::integer));
  EXPECT_GT(int32_t(c[3].data2), 0);
  EXPECT_GE(int32_t(c[3].data2), int32_t(c[4].data2));  // the system total includes the tracked

  node_t big = memory::alloc_cells(2);
  memory::stats_append_number(big, 2147483647.0);
  memory::stats_append_number(big, 2147483648.0);
  EXPECT_EQ(type_of(memory::buffer_of(big)->cells()), uint32_t(type::integer));
  EXPECT_EQ(type_of(memory::buffer_of(big)->cells() + 1), uint32_t(type::float_));
}

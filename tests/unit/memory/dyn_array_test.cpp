#include "memory/dyn_array.h"

#include <gtest/gtest.h>

namespace kaz::dyn_array {
namespace {

TEST(DynArray, GrowsAndPicks) {
  node_t a = make(1, 4);
  EXPECT_EQ(memory::buffer_of(make(0, 4))->size, 16u);
  for (int i = 1; i <= 1000; ++i) append_int(a, i * 3);
  EXPECT_EQ(length(a), 1000u);
  EXPECT_EQ(pick_int(a, 1000), 3000);
  EXPECT_EQ(pick_int(a, 1001), 0);
  EXPECT_EQ(pick_int(a, 0), 0);
  poke_int(a, 2, -5);
  EXPECT_EQ(pick_int(a, 2), -5);
  EXPECT_EQ(find_int(a, 9), 8);
  EXPECT_EQ(find_int(a, 4), -1);
  node_t c = copy(a);
  EXPECT_EQ(length(c), 1000u);
  EXPECT_EQ(flags(c) & series_flag::unit_mask, 4u);
  truncate(a, 11);
  EXPECT_EQ(length(a), 10u);
  truncate(a, 1);
  EXPECT_EQ(length(a), 0u);
  EXPECT_EQ(length(c), 1000u);
}

TEST(DynArray, BytesAndPointers) {
  node_t b = make(0, 1);
  append_bytes(b, "hello", 5);
  append_byte(b, '!');
  EXPECT_EQ(length(b), 6u);
  remove_bytes(b, 1, 3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(memory::buffer_of(b)->head()), length(b)), "ho!");
  remove_bytes(b, 2, 100);  // clipped to the array
  EXPECT_EQ(length(b), 2u);
  clear(b);
  EXPECT_EQ(length(b), 0u);

  node_t p = make(2, pointer_width);
  int x, y, z;
  append_pointer(p, uintptr_t(&x));
  append_pointer(p, uintptr_t(&y));
  append_pointer(p, uintptr_t(&z));
  EXPECT_EQ(remove_pointer(p, uintptr_t(&y)), int64_t(pointer_width));
  EXPECT_EQ(remove_pointer(p, uintptr_t(&y)), -1);  // absent: unchanged
  EXPECT_EQ(length(p), 2u);
  EXPECT_EQ(pick_pointer(p, 2), uintptr_t(&z));
  EXPECT_EQ(find_pointer(p, uintptr_t(&x)), 0);
}

}  // namespace
}  // namespace kaz::dyn_array

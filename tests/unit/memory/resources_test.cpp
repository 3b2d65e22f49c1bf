#include "memory/resources.h"

#include <gtest/gtest.h>

#include <vector>

namespace kaz::memory::resources {
namespace {

std::vector<uint32_t> released;
void record_release(uint32_t handle) { released.push_back(handle); }

// The registry is process-wide: the test takes its slots and kind once.
TEST(Resources, SlotsKindsAndTheSweep) {
  static uint32_t kind = register_kind("test", record_release);
  ASSERT_GE(kind, 1u);
  released.clear();
  uint32_t first = add(100, kind);
  uint32_t second = add(200, kind);
  EXPECT_EQ(used_head(), int32_t(second));
  EXPECT_NE(first, second);
  EXPECT_EQ(handle_of(first), 100u);

  replace(first, 100);  // the same handle: nothing released
  EXPECT_TRUE(released.empty());
  replace(first, 101);
  EXPECT_EQ(released, std::vector<uint32_t>{100});

  // A sweep with every slot marked releases nothing and leaves the marks clear.
  released.clear();
  EXPECT_TRUE(mark(first, 0));
  EXPECT_FALSE(mark(first, 0));
  EXPECT_TRUE(mark(second, 201));
  sweep();
  EXPECT_TRUE(released.empty());
  EXPECT_FALSE(kind_word_of(first) & mark_bit);
  EXPECT_EQ(handle_of(second), 201u);

  // Unmarked slots are released and freed.
  mark(second, 0);
  sweep();
  EXPECT_EQ(released, std::vector<uint32_t>{101});
  EXPECT_TRUE(kind_word_of(first) & free_word);
  EXPECT_EQ(remove(second, true), -1);
  EXPECT_EQ(released.back(), 201u);
  EXPECT_FALSE(mark(second, 0));  // free slots and wild indexes are ignored
  EXPECT_FALSE(mark(0xFFFFFF, 0));
}

TEST(Resources, TheTableDoublesWhenTheLastFreeSlotIsTaken) {
  std::vector<uint32_t> taken{add(1, 0)};
  uint32_t cap = capacity();
  for (uint32_t i = 1; i < cap; ++i) taken.push_back(add(i + 1, 0));
  EXPECT_GE(capacity(), 2 * cap);
  for (uint32_t i = 0; i < taken.size(); ++i) EXPECT_EQ(handle_of(taken[i]), i + 1);
  for (uint32_t s : taken) remove(s, false);
}

TEST(Resources, KindsAreBounded) {
  uint32_t made = 0;
  while (register_kind("k", nullptr)) ++made;
  EXPECT_LE(made, max_kinds);
  EXPECT_EQ(register_kind("one too many", nullptr), 0u);
  release(0, 5);  // kind 0 releases nothing
}

}  // namespace
}  // namespace kaz::memory::resources

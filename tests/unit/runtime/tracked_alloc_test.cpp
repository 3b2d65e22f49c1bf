// The tracked allocator's list, resizing, report and exit-time release.
#include "runtime/tracked_alloc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/runtime_record.h"
#include "test_support.h"

namespace kaz::sysrt {
namespace {

tracked_block* header(void* area) { return static_cast<tracked_block*>(area) - 1; }

// The areas on the list from `first` on, in list order, checking the backward links too.
std::vector<void*> list_from(void* first) {
  std::vector<void*> areas;
  tracked_block* previous = header(first)->previous;
  for (tracked_block* b = header(first); b; b = b->next) {
    EXPECT_EQ(b->previous, previous);
    previous = b;
    areas.push_back(b + 1);
  }
  EXPECT_EQ(runtime.tracked.tail, previous);
  return areas;
}

TEST(TrackedAlloc, FreeingRelinksNeighbours) {
  void* a = alloc(10);
  void* b = alloc(20);
  void* c = alloc(30);
  EXPECT_EQ(list_from(a), (std::vector<void*>{a, b, c}));
  free(b);
  EXPECT_EQ(list_from(a), (std::vector<void*>{a, c}));
  tracked_block* before_a = header(a)->previous;
  free(a);
  if (before_a)
    EXPECT_EQ(before_a->next, header(c));
  else
    EXPECT_EQ(runtime.tracked.head, header(c));
  EXPECT_EQ(header(c)->previous, before_a);
  free(c);
  EXPECT_EQ(runtime.tracked.tail, before_a);
}

TEST(TrackedAlloc, OnlyBlockLeavesAnEmptyList) {
  auto end = test::run_in_child([] {
    free_all();
    void* only = alloc(8);
    free(only);
    std::_Exit(runtime.tracked.head == nullptr && runtime.tracked.tail == nullptr ? 0 : 1);
  });
  EXPECT_EQ(end.code, 0);
}

TEST(TrackedAlloc, ReallocKeepsPlaceAndContents) {
  void* a = alloc(16);
  void* b = alloc(4);
  std::memcpy(b, "abc", 4);
  void* c = alloc(16);
  void* b2 = realloc(b, 1 << 20);
  EXPECT_STREQ(static_cast<char*>(b2), "abc");
  EXPECT_EQ(header(b2)->size, size_t(1) << 20);
  EXPECT_EQ(list_from(a), (std::vector<void*>{a, b2, c}));
  // The moved block at the tail: the next block links after its new address.
  void* c2 = realloc(c, 1 << 20);
  void* d = alloc(1);
  EXPECT_EQ(list_from(a), (std::vector<void*>{a, b2, c2, d}));
  EXPECT_EQ(realloc(d, 0), nullptr);
  EXPECT_EQ(list_from(a), (std::vector<void*>{a, b2, c2}));
  void* e = realloc(nullptr, 5);
  EXPECT_EQ(list_from(a), (std::vector<void*>{a, b2, c2, e}));
  for (void* p : {a, b2, c2, e}) free(p);
}

TEST(TrackedAlloc, ZeroedAndAligned) {
  auto* p = static_cast<unsigned char*>(alloc_zeroed(100));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], 0);
  free(p);
}

TEST(TrackedAlloc, FreeingWhatIsNotTrackedChangesNothing) {
  void* a = alloc(64);
  void* b = alloc(64);
  free(nullptr);
  free(static_cast<char*>(a) + 32);  // inside a block: no header there
  EXPECT_EQ(list_from(a), (std::vector<void*>{a, b}));
  free(a);
  free(b);
}

TEST(TrackedAlloc, ExhaustedHeapIsRuntimeError94) {
  auto end = test::run_in_child([] { alloc(SIZE_MAX - 8); });
  EXPECT_EQ(end.code, 94);
  EXPECT_EQ(end.output.rfind("\n*** Runtime Error 94: out of memory\n*** at: ", 0), 0u)
      << end.output;
}

TEST(TrackedAlloc, HeapReportListsAskedAndRealSizes) {
  auto end = test::run_in_child([] {
    free_all();
    alloc(10);
    alloc(100);
    heap_report();
    std::_Exit(0);
  });
  const std::string h = std::to_string(sizeof(tracked_block));
  EXPECT_EQ(end.output, "-- Heap-allocations --\nAsked   Real\n10\t" + std::to_string(10 + sizeof(tracked_block)) +
                            "\n100\t" + std::to_string(100 + sizeof(tracked_block)) + "\n-- Sum: " +
                            std::to_string(110 + 2 * sizeof(tracked_block)) + " --\n");
}

TEST(TrackedAlloc, RoundUp) {
  EXPECT_EQ(round_up(10, 8), 16u);
  EXPECT_EQ(round_up(16, 8), 16u);
  EXPECT_EQ(round_up(0, 16), 0u);
  EXPECT_EQ(round_up(1, 4096), 4096u);
}

}  // namespace
}  // namespace kaz::sysrt

// The collector: what C++ code holds survives, pinned buffers stay, nodes stay valid.
#include "memory/collector.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "memory/heap_check.h"
#include "memory/node_frames.h"
#include "memory/series_frames.h"

namespace kaz::collector {
namespace {

using memory::buffer_of;

// Addresses kept where the stack scan cannot see them (globals are not scanned), so that
// remembering a buffer's old place does not pin it.
uintptr_t remembered[4096];

struct Collector : ::testing::Test {
  void SetUp() override {
    memory::init();
    set_active(true);
    set_torture(0, false);
    memory::check::set_verifying(true);
  }
  void TearDown() override {
    set_torture(0, false);
    set_active(false);
  }
};

// A string series holding `text`.
node_t make_string(const char* text) {
  uint32_t n = uint32_t(std::strlen(text));
  node_t s = memory::alloc_bytes(n);
  std::memcpy(memory::reserve_tail(buffer_of(s), n)->head_rw(), text, n);
  return s;
}

bool holds(node_t s, const char* text) {
  if (!memory::valid_node(s)) return false;
  series_buffer* b = buffer_of(s);
  return b->used_bytes() == std::strlen(text) && std::memcmp(b->head(), text, b->used_bytes()) == 0;
}

// Leaves a dead buffer (left behind by growth) in front of whatever comes next.
void leave_garbage() {
  node_t g = memory::alloc_bytes(256);
  memory::expand_series(buffer_of(g), 512);
}

// Clears what dead calls left below the current frame, so stale words do not keep garbage.
__attribute__((noinline)) void scrub_stack() {
  volatile uint8_t area[32768];
  for (auto& b : area) b = 0;
}

// Nodes allocated and dropped in a frame of their own.
__attribute__((noinline)) void make_unreachable(int n) {
  for (int i = 0; i < n; ++i) memory::alloc_bytes(100);
}

TEST_F(Collector, ABufferHeldOnlyByALocalSurvives) {
  leave_garbage();
  node_t s = make_string("kept by a local node id");
  leave_garbage();
  collect();
  make_unreachable(10);
  collect();
  EXPECT_TRUE(holds(s, "kept by a local node id"));
}

TEST_F(Collector, UnreachableBuffersAreReclaimed) {
  collect();
  uint64_t before = memory::nodes::used_slots();
  make_unreachable(2000);
  EXPECT_EQ(memory::nodes::used_slots(), before + 2000);
  scrub_stack();
  collect();
  // Stale words on the stack may keep a few; nearly all go.
  EXPECT_LT(memory::nodes::used_slots(), before + 20);
}

TEST_F(Collector, BuffersLeftByGrowthAreReclaimedWithoutTheirNode) {
  static node_t kept = 0;
  add_root_node(&kept);
  kept = make_string("grown");
  collect();
  uint64_t used = memory::frames::used_bytes();
  for (int i = 0; i < 10; ++i) memory::expand_series_copy(buffer_of(kept), 4096 << i);
  EXPECT_GT(memory::frames::used_bytes(), used + (4096 << 9));
  scrub_stack();
  collect();
  EXPECT_TRUE(holds(kept, "grown"));
  EXPECT_LT(memory::frames::used_bytes(), used + (4096 << 10));
  remove_root_node(&kept);
}

TEST_F(Collector, PinnedBuffersKeepTheirPlaceWhileOthersMove) {
  static node_t root = 0;
  leave_garbage();
  root = make_string("moves");
  add_root_node(&root);
  remembered[0] = uintptr_t(buffer_of(root));
  leave_garbage();
  node_t pinned_node = make_string("stays put");
  const uint8_t* data = buffer_of(pinned_node)->head();  // a raw pointer on the stack pins it
  series_buffer* pinned_at = buffer_of(pinned_node);
  leave_garbage();
  collect();
  EXPECT_NE(uintptr_t(buffer_of(root)), remembered[0]);
  EXPECT_TRUE(holds(root, "moves"));
  EXPECT_EQ(buffer_of(pinned_node), pinned_at);
  EXPECT_EQ(std::memcmp(data, "stays put", 9), 0);
  remove_root_node(&root);
}

TEST_F(Collector, PointerPastTheEndStillPins) {
  leave_garbage();
  node_t n = make_string("0123456789abcdef");
  const uint8_t* end = buffer_of(n)->end();  // one past the data area
  remembered[1] = uintptr_t(buffer_of(n));
  leave_garbage();
  collect();
  EXPECT_EQ(uintptr_t(buffer_of(n)), remembered[1]);
  EXPECT_EQ(buffer_of(n)->end(), end);
}

// A block of `count` strings, each naming its index; answers the block node.
node_t make_block_of_strings(uint32_t count) {
  node_t block = memory::alloc_cells(count);
  for (uint32_t i = 0; i < count; ++i) {
    char text[16];
    std::snprintf(text, sizeof text, "s%u", i);
    node_t s = make_string(text);
    cell* c = memory::append_cell(block);
    *c = cell{type::string, 0, s, 0};
  }
  return block;
}

void expect_block_of_strings(node_t block, uint32_t count, uint32_t step = 1) {
  series_buffer* b = buffer_of(block);
  ASSERT_EQ(b->length(), count);
  for (uint32_t i = 0; i < count; i += step) {
    char text[16];
    std::snprintf(text, sizeof text, "s%u", i);
    const cell* c = buffer_of(block)->cells() + i;
    ASSERT_EQ(type_of(c), uint32_t(type::string));
    ASSERT_TRUE(holds(c->data2, text)) << i;
  }
}

TEST_F(Collector, NodesStayValidAfterCompaction) {
  static cell root{type::block, 0, 0, 0};
  add_root_cells(&root);
  for (int round = 0; round < 3; ++round) {
    root.data2 = make_block_of_strings(3000);
    make_unreachable(3000);
    collect();
    expect_block_of_strings(root.data2, 3000);
  }
  remove_root_cells(&root);
}

TEST_F(Collector, DeepNestingDoesNotDeepenTheNativeStack) {
  static node_t head = 0;
  add_root_node(&head);
  head = memory::alloc_cells(1);
  node_t inner = head;
  for (int i = 0; i < 200000; ++i) {
    node_t next = memory::alloc_cells(1);
    *memory::append_cell(inner) = cell{type::block, 0, next, 0};
    inner = next;
  }
  inner = 0;
  make_unreachable(100);
  collect();
  int depth = 0;
  for (node_t n = head; buffer_of(n)->length() == 1; n = buffer_of(n)->cells()->data2) ++depth;
  EXPECT_EQ(depth, 200000);
  remove_root_node(&head);
}

TEST_F(Collector, MarkCallbacksAndTheirRoots) {
  static node_t held = 0;
  static bool called = false;
  held = make_string("from a callback");
  auto mark = [] {
    called = true;
    mark_series(&held);
  };
  add_mark_callback(mark);
  make_unreachable(50);
  collect();
  remove_mark_callback(mark);
  EXPECT_TRUE(called);
  EXPECT_TRUE(holds(held, "from a callback"));
}

TEST_F(Collector, TortureModesRunClean) {
  static cell root{type::block, 0, 0, 0};
  add_root_cells(&root);
  for (bool move : {false, true}) {
    set_torture(7, move);
    uint32_t before = stats().cycles;
    root.data2 = make_block_of_strings(2000);
    for (int i = 0; i < 200; ++i) {
      node_t grow = memory::alloc_bytes(1);
      for (int k = 0; k < 40; ++k) memory::reserve_tail(buffer_of(grow), 1)->tail_rw()[-1] = 'x';
    }
    expect_block_of_strings(root.data2, 2000);
    EXPECT_GT(stats().cycles, before + 100);
    set_torture(0, false);
  }
  remove_root_cells(&root);
}

TEST_F(Collector, MoveAllMovesEveryUnpinnedBuffer) {
  static cell root{type::block, 0, 0, 0};
  add_root_cells(&root);
  root.data2 = make_block_of_strings(500);
  for (uint32_t i = 0; i < 500; ++i)
    remembered[i] = uintptr_t(buffer_of(buffer_of(root.data2)->cells()[i].data2));
  set_torture(0, true);
  collect();
  set_torture(0, false);
  int stayed = 0;
  for (uint32_t i = 0; i < 500; ++i)
    stayed += uintptr_t(buffer_of(buffer_of(root.data2)->cells()[i].data2)) == remembered[i];
  EXPECT_EQ(stayed, 0);
  expect_block_of_strings(root.data2, 500);
  remove_root_cells(&root);
}

__attribute__((noinline)) void make_big_garbage() {
  series_buffer* gone = buffer_of(memory::alloc_bytes(3 << 20));
  memory::expand_series(gone, 4 << 20);  // both buffers become garbage
}

TEST_F(Collector, BigSeriesLiveAndDie) {
  static node_t big = 0;
  add_root_node(&big);
  big = memory::alloc_bytes_filled(3 << 20, 0x5A);
  EXPECT_TRUE(buffer_of(big)->flags & series_flag::big);
  uint64_t before = memory::frames::big_bytes;
  make_big_garbage();
  make_unreachable(10);  // clobbers the registers that held the garbage's address
  scrub_stack();
  set_torture(0, true);  // moves the big series too
  collect();
  set_torture(0, false);
  EXPECT_EQ(memory::frames::big_bytes, before);
  series_buffer* b = buffer_of(big);
  EXPECT_EQ(b->data()[0], 0x5A);
  EXPECT_EQ(b->data()[(3 << 20) - 1], 0x5A);
  remove_root_node(&big);
  big = 0;
}

// Small garbage, in a frame of its own.
__attribute__((noinline)) void churn(uint64_t total) {
  for (uint64_t made = 0; made < total; made += 100) memory::alloc_bytes(100);
}

TEST_F(Collector, AFrameWithALittleRoomLeftNeverStopsCollections) {
  collect();
  // The current frame is left with less room than a frame must have to take more buffers, and
  // a buffer that does not fit there opens the next frame.
  memory::frames::series_frame* f = memory::frames::current;
  uint64_t room = uint64_t(f->end - f->bump);
  ASSERT_GT(room, uint64_t(100000));
  memory::alloc_bytes(uint32_t(room - 20000 - memory::frames::header_bytes));
  memory::alloc_bytes(30000);
  uint32_t before = stats().cycles;
  churn(uint64_t(256) << 20);
  EXPECT_GT(stats().cycles, before + 10);
  EXPECT_LT(memory::frames::used_bytes(), uint64_t(32) << 20);
}

TEST_F(Collector, SwitchedOffItNeverCollectsOnItsOwn) {
  set_active(false);
  uint32_t before = stats().cycles;
  make_unreachable(100000);
  EXPECT_EQ(stats().cycles, before);
  collect();  // recycle collects whatever the switch
  EXPECT_EQ(stats().cycles, before + 1);
}

TEST_F(Collector, QuietSparseNodeFramesAreEmptied) {
  static cell root{type::block, 0, 0, 0};
  add_root_cells(&root);
  // Strings over several node frames, then all but every 20th dropped.
  constexpr uint32_t count = 60000;
  root.data2 = make_block_of_strings(count);
  collect();
  cell* cells = buffer_of(root.data2)->cells_rw();
  for (uint32_t i = 0; i < count; ++i)
    if (i % 20) cells[i] = cell{type::none, 0, 0, 0};
  uint32_t moves = stats().node_moves;
  for (int i = 0; i < 10; ++i) collect();
  EXPECT_GT(stats().node_moves, moves);
  expect_block_of_strings(root.data2, count, 20);
  remove_root_cells(&root);
}

}  // namespace
}  // namespace kaz::collector

// Allocation throughput and collection time per MB of live data, with the collector on.
#include <chrono>
#include <cstdio>
#include <cstring>

#include "memory/collector.h"
#include "memory/series.h"
#include "memory/series_frames.h"

namespace {

using namespace kaz;
using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

// Short-lived byte series: the bump path, node allocation and collections of garbage.
void bench_small_allocations(uint32_t count) {
  uint32_t cycles = collector::stats().cycles;
  auto start = clock_type::now();
  for (uint32_t i = 0; i < count; ++i) memory::alloc_bytes(24);
  double s = seconds_since(start);
  std::printf("alloc 24-byte series      %6.1f M/s  %5.1f ns each  (%u collections)\n",
              count / s / 1e6, s / count * 1e9, collector::stats().cycles - cycles);
}

// Blocks grown cell by cell: growth, copies and abandoned buffers.
void bench_growing_blocks(uint32_t blocks, uint32_t cells) {
  auto start = clock_type::now();
  for (uint32_t b = 0; b < blocks; ++b) {
    node_t block = memory::alloc_cells(1);
    for (uint32_t i = 0; i < cells; ++i) memory::append_cell(block)->data2 = i;
  }
  double s = seconds_since(start);
  std::printf("append cells, growing     %6.1f M/s  %5.1f ns each\n", blocks * cells / s / 1e6,
              s / (blocks * uint64_t(cells)) * 1e9);
}

cell root{type::block, 0, 0, 0};

// A live tree of about `mb` megabytes: blocks of 64 strings of 64 bytes.
void build_live(uint32_t mb) {
  root.data2 = memory::alloc_cells(0);
  uint64_t target = uint64_t(mb) << 20, made = 0;
  while (made < target) {
    node_t block = memory::alloc_cells(64);
    for (int i = 0; i < 64; ++i) {
      node_t s = memory::alloc_bytes(64);
      std::memset(memory::reserve_tail(memory::buffer_of(s), 64)->head_rw(), 'x', 64);
      *memory::append_cell(block) = cell{type::string, 0, s, 0};
    }
    *memory::append_to_block(&root) = cell{type::block, 0, block, 0};
    made += 64 * (64 + 24) + 64 * 16 + 24 + 16;
  }
}

void bench_collection(uint32_t mb) {
  build_live(mb);
  memory::alloc_bytes(0);
  collector::collect();  // settles the heap
  double live_mb = double(memory::frames::used_bytes()) / (1 << 20);
  const int runs = 5;
  auto start = clock_type::now();
  for (int i = 0; i < runs; ++i) collector::collect();
  double ms = seconds_since(start) * 1e3 / runs;
  std::printf("collect %4.0f MB live       %7.1f ms  %5.2f ms per MB\n", live_mb, ms, ms / live_mb);
  root.data2 = memory::alloc_cells(0);
  collector::collect();
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  memory::init();
  collector::set_stack_base(nullptr);
  collector::add_root_cells(&root);
  collector::set_active(true);
  bench_small_allocations(quick ? 1000000 : 20000000);
  bench_growing_blocks(quick ? 1000 : 20000, 1000);
  for (uint32_t mb : {16u, 64u, 256u}) {
    if (quick && mb > 16) break;
    bench_collection(mb);
  }
  return 0;
}

#include "memory/collector.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <vector>

#include "memory/gc_internal.h"
#include "memory/heap_check.h"
#include "memory/node_frames.h"
#include "memory/resources.h"
#include "memory/series_frames.h"
#include "memory/stamp_check.h"

namespace kaz::collector {

namespace detail {
bool collecting = false;
uint32_t torture_left = 0;
}  // namespace detail

namespace {

bool is_active = false;
bool compact_nodes_on = true;
bool environment_read = false;
bool move_all = false;
uint32_t torture_every = 0;
bool moved_nodes = false;
counters counts{};

// A node frame is quiet when its used count stayed the same over this many collections.
constexpr uint32_t quiet_collections = 6;

// The bytes in use may grow by at least this much, and by at least the live size, between
// collections (and before the first): the cost of a collection follows what is live, so this
// keeps it in proportion to what is allocated.
constexpr uint64_t min_growth = 4 * 1024 * 1024;
uint64_t next_collection_at = min_growth;  // bytes in use at which a collection is due

struct root_range {
  cell* first;
  uint32_t count;
};
std::vector<root_range> root_cells;
std::vector<node_t*> root_nodes;
std::vector<callback> mark_callbacks;
std::vector<callback> sweep_callbacks;
std::vector<weak_pass> weak_passes;

// The scanned stack ends at `stack_top` on the thread that set it; a collection on any other
// thread scans that thread's own stack up to its end.
const void* stack_top = nullptr;
pthread_t stack_thread;
thread_local const void* own_stack_top = nullptr;

const void* thread_stack_top() {
  pthread_attr_t attr;
  void* addr = nullptr;
  size_t size = 0;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    pthread_attr_getstack(&attr, &addr, &size);
    pthread_attr_destroy(&attr);
  }
  return static_cast<uint8_t*>(addr) + size;
}

const void* current_stack_top() {
  if (stack_top && pthread_equal(stack_thread, pthread_self())) return stack_top;
  if (!own_stack_top) own_stack_top = thread_stack_top();
  return own_stack_top;
}

void read_environment() {
  environment_read = true;
  uint32_t every = 0;
  if (const char* t = std::getenv("KAZ_GC_TORTURE")) {
    long n = std::strtol(t, nullptr, 10);
    every = n > 0 ? uint32_t(std::min<long>(n, 1L << 30)) : 0;
  }
  const char* m = std::getenv("KAZ_GC_MOVE_ALL");
  if (every || (m && m[0] == '1')) set_torture(every, m && m[0] == '1');
}

template <class T>
void remove_first(std::vector<T>& v, T x) {
  auto it = std::find(v.begin(), v.end(), x);
  if (it != v.end()) v.erase(it);
}

void mark_roots(internal::stack_finds& finds) {
  for (node_t n : finds.nodes) mark_series(&n);  // a copy: stack words are never rewritten
  for (series_buffer* b : finds.pinned) {
    node_t n = b->node;
    mark_series(&n);
  }
  for (const root_range& r : root_cells) mark_values(r.first, r.first + r.count);
  for (node_t* slot : root_nodes) mark_series(slot);
  internal::drain();
  for (size_t i = 0; i < mark_callbacks.size(); ++i) {
    mark_callbacks[i]();
    internal::drain();
  }
  for (bool again = true; again;) {
    again = false;
    for (weak_pass p : weak_passes) {
      if (!p()) continue;
      internal::drain();
      again = true;
    }
  }
}

}  // namespace

bool active() { return is_active; }

void set_active(bool on) {
  is_active = on;
  if (on && !environment_read) read_environment();
}

void set_torture(uint32_t every, bool move) {
  environment_read = true;
  torture_every = every;
  detail::torture_left = every;
  move_all = move;
  if (every || move) memory::check::set_verifying(true);
}

bool collecting() { return detail::collecting; }
bool compact_nodes() { return compact_nodes_on; }
void set_compact_nodes(bool on) { compact_nodes_on = on; }
counters stats() { return counts; }
bool nodes_moved() { return moved_nodes; }

void set_stack_base(const void* top) {
  stack_top = top ? top : thread_stack_top();
  stack_thread = pthread_self();
}

void add_mark_callback(callback f) { mark_callbacks.push_back(f); }
void remove_mark_callback(callback f) { remove_first(mark_callbacks, f); }
void add_sweep_callback(callback f) { sweep_callbacks.push_back(f); }
void remove_sweep_callback(callback f) { remove_first(sweep_callbacks, f); }
void add_weak_pass(weak_pass p) { weak_passes.push_back(p); }

void add_root_cells(cell* first, uint32_t count) { root_cells.push_back({first, count}); }
void remove_root_cells(cell* first) {
  auto it = std::find_if(root_cells.begin(), root_cells.end(),
                         [first](const root_range& r) { return r.first == first; });
  if (it != root_cells.end()) root_cells.erase(it);
}
void add_root_node(node_t* slot) { root_nodes.push_back(slot); }
void remove_root_node(node_t* slot) { remove_first(root_nodes, slot); }

/*
 * One collection, in this order:
 *  1. the native-stack scan (nothing has moved yet: what C++ code holds is found as it is);
 *  2. emptying of quiet, sparse node frames (not those holding a node found on the stack);
 *  3. marking from the stack finds, the registered roots and the mark callbacks, then the
 *     weak passes until they find nothing more;
 *  4. sweep callbacks and the external-resource sweep (marks complete, nothing moved);
 *  5. compaction of the series frames, sweeps of big and retired fixed series;
 *  6. release of empty node frames; the verifier when it is on.
 */
void collect() {
  if (detail::collecting || !memory::detail::node_slots) return;
  detail::collecting = true;
  std::atomic_thread_fence(std::memory_order_seq_cst);

  static internal::stack_finds finds;
  finds.nodes.clear();
  finds.pinned.clear();
  internal::scan_native_stack(current_stack_top(), finds);
  uint64_t nodes_before = memory::nodes::used_slots();

  moved_nodes = compact_nodes_on && memory::nodes::compact(quiet_collections);
  if (moved_nodes) ++counts.node_moves;

  mark_roots(finds);
  for (size_t i = 0; i < sweep_callbacks.size(); ++i) sweep_callbacks[i]();
  memory::resources::sweep();

  internal::compact(move_all);
  memory::nodes::after_collection(nodes_before);
  bool renumbered = moved_nodes;
  moved_nodes = false;
  ++counts.cycles;

  uint64_t live = memory::frames::used_bytes();
  next_collection_at = live + internal::growth_allowance(live);
  if (memory::check::verifying()) memory::check::verify_heap();
  if (memory::stamp_check::on) memory::stamp_check::after_collection(renumbered);

  std::atomic_thread_fence(std::memory_order_seq_cst);
  detail::collecting = false;
}

void collect_if_enabled() {
  if (is_active) collect();
}

uint64_t internal::growth_allowance(uint64_t live) { return std::max(min_growth, live); }

namespace detail {

void torture_collect() {
  torture_left = torture_every;
  collect_if_enabled();
}

bool due(uint64_t bytes) {
  return is_active && !collecting && memory::frames::used_bytes() + bytes > next_collection_at;
}

}  // namespace detail

}  // namespace kaz::collector

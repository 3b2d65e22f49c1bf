// The compacting collector: its switch, its roots and the marking calls that root owners use.
#pragma once

#include <cstdint>

#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::collector {

/*
 * Roots. Everything the collector keeps alive is reached from:
 *   - registered root cells and root node slots (C++ globals; the collector may rewrite the
 *     node ids in them when it moves nodes out of a sparse node frame),
 *   - mark callbacks, which call the marking functions below on what their owner holds,
 *   - the native stack of the evaluation thread, scanned conservatively: a 4-byte-aligned
 *     word equal to a node in use keeps that node (and its frame: such a node id never
 *     changes), an 8-byte-aligned word pointing into a buffer keeps it and pins it in place.
 * Mark and sweep callbacks run inside a collection: they must not allocate, throw or run Kaz
 * code.
 */

// Collections run only while the switch is on (start-up turns it on once the boot data is
// bound). Turning it on the first time reads the torture switches from the environment.
bool active();
void set_active(bool on);
bool collecting();

// The torture switches (read from KAZ_GC_TORTURE and KAZ_GC_MOVE_ALL when the collector is
// first turned on): a collection every `every` buffer allocations (0: off), and every unpinned
// buffer moved at every collection. Either one turns the heap verifier on.
void set_torture(uint32_t every, bool move_all);

// Emptying of sparse node frames; off while code holds node ids where marking cannot rewrite
// them (a hashtable keyed by node ids turns it off while it rehashes).
bool compact_nodes();
void set_compact_nodes(bool on);

// One full collection, whatever the switch (the `recycle` native).
void collect();
// A collection when the switch is on.
void collect_if_enabled();

// Read by `recycle` and `stats`.
struct counters {
  uint32_t cycles;      // collections run
  uint32_t node_moves;  // collections that moved nodes
};
counters stats();

// Where the native-stack scan ends on the calling thread (the evaluation thread): the frame
// above which it holds nothing of the runtime's; nullptr takes the end of its stack. A
// collection on any other thread scans that thread's stack to its end.
void set_stack_base(const void* top);

using callback = void (*)();
void add_mark_callback(callback f);     // runs after the registered roots are marked
void remove_mark_callback(callback f);
void add_sweep_callback(callback f);    // runs once marking is complete, before buffers move
void remove_sweep_callback(callback f);

void add_root_cells(cell* first, uint32_t count = 1);
void remove_root_cells(cell* first);
void add_root_node(node_t* slot);
void remove_root_node(node_t* slot);

// Marking. A slot is a 32-bit word holding a node id (in a cell, a buffer or a root); when
// the node was moved in this collection the slot is rewritten with its new id.
bool mark_node(node_t* slot);       // marks the buffer only; true when newly marked
void mark_series(node_t* slot);     // the buffer and, for cells, their values
void mark_context(node_t* slot);    // a context buffer: its table, its values, its owner
void mark_block(cell* block);       // mark_series on the cell's node (word 2) when not 0
void mark_values(cell* first, cell* end);
void mark_cell(cell* c);
bool is_marked(node_t node);        // for sweep callbacks
void unmark(node_t node);
node_t forwarded(node_t node);      // the node's id after this collection's node moves
bool nodes_moved();                 // whether this collection moved nodes

// Per-datatype marking (collector/mark-values). Datatypes whose cells hold nodes in an
// unusual place register their own marker; the defaults follow the payload layouts.
using type_marker = void (*)(cell* c);
void set_type_marker(uint32_t type, type_marker m);
type_marker get_type_marker(uint32_t type);

// A buffer flagged series_flag::record (a hashtable record, say) holds node ids of its own:
// when mark_series marks it, the record hook is called with its node and marks those (with
// mark_node or mark_series on the slots inside the record, so they can be rewritten). Marking
// a hashtable from its node is then mark_series on the record's node.
using record_hook = void (*)(node_t node);
void set_record_marker(record_hook m);
/*
 * Weak blocks. Marking a cell buffer flagged series_flag::weak asks the weak marker first: when
 * it answers true, the buffer's values are left to it (else they are marked as usual). Once
 * everything else is marked, the weak passes run, each followed by a drain, again and again
 * while one of them answers that it marked something: what a weak block keeps may depend on
 * what another of its entries keeps alive. Sweep callbacks then drop what was not kept.
 */
using weak_marker = bool (*)(node_t node);
void set_weak_marker(weak_marker m);
using weak_pass = bool (*)();
void add_weak_pass(weak_pass p);
// Marks what an image record (word 2 of an image! cell, already marked) holds.
using node_hook = void (*)(node_t* slot);
void set_image_marker(node_hook m);
// The symbol of `self`: a word bound to an object's own context through it marks the
// context's values as a series.
void set_self_symbol(uint32_t symbol);

// For the allocator.
namespace detail {
extern bool collecting;
extern uint32_t torture_left;  // allocations to the next torture collection; 0 when off
void torture_collect();
// Whether growing the heap by `bytes` should first run a collection.
bool due(uint64_t bytes);
}  // namespace detail

}  // namespace kaz::collector

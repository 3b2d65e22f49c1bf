// The relations block of reactivity holds its source reactors weakly.
#include "library/weak_relations.h"

#include "core/object.h"
#include "core/series_cell.h"
#include "memory/collector.h"
#include "memory/series.h"

namespace kaz::library::relations {

/*
 * A record is four values: source object, field, reaction, targets. It is worth keeping only
 * while its source can still change, that is while something besides the relations reaches
 * the source. So the collector marks no value of the block on its way (the block is flagged
 * weak); once everything else is marked, the weak pass marks the records whose source is
 * marked, again until no further source turns up (a record's reaction or targets may reach
 * another record's source: a linked object, a word bound to a reactor). The records left
 * unmarked are then overwritten with none, in place, so that the block never changes length
 * under code that walks it; add-relation drops them later.
 */

namespace {

constexpr uint32_t record_size = 4;

node_t block_node = 0;     // the relations block; a root
uint32_t kept_records = 0;  // records the passes of this collection have marked

bool is_source_alive(const cell* record) {
  // Data1 of an object cell is its context node: marked when anything reaches the object.
  return !object::is_any_object(type_of(record)) || collector::is_marked(object::context_of(record));
}

// Called while marking drains: the roots, block_node among them, are marked and their slots
// brought up to date by then.
bool take_values(node_t node) {
  if (node != block_node) return false;
  kept_records = 0;
  return true;
}

// Marks the records whose source is alive; true when there are more of them than before.
bool mark_kept_records() {
  if (!block_node || !collector::is_marked(block_node)) return false;
  series_buffer* b = memory::buffer_of(block_node);
  cell* values = b->cells_rw();
  uint32_t n = b->length();
  uint32_t kept = 0;
  for (uint32_t i = 0; i < n; i += record_size) {
    uint32_t count = n - i < record_size ? n - i : record_size;
    if (count == record_size && !is_source_alive(values + i)) continue;
    collector::mark_values(values + i, values + i + count);
    ++kept;
  }
  bool more = kept > kept_records;
  kept_records = kept;
  return more;
}

void drop_dead_records() {
  if (!block_node) return;
  series_buffer* b = memory::buffer_of(block_node);
  if (!(b->flags & series_flag::weak)) return;
  const cell* values = b->cells();
  uint32_t n = b->length();
  for (uint32_t i = 0; i + record_size <= n; i += record_size) {
    if (is_source_alive(values + i)) continue;
    cell* dead = b->cells_rw() + i;
    for (uint32_t k = 0; k < record_size; ++k) dead[k] = cell{type::none, 0, 0, 0};
  }
}

}  // namespace

void hold_sources_weakly(cell* a) {
  if (!block_node) {
    collector::add_root_node(&block_node);
    collector::set_weak_marker(take_values);
    collector::add_weak_pass(mark_kept_records);
    collector::add_sweep_callback(drop_dead_records);
  }
  block_node = series::node_of(a);
  memory::set_series_flags(block_node, series_flag::weak);
  a->header = type::unset;
}

}  // namespace kaz::library::relations

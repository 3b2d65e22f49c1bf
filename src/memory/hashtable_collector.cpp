// What the collector needs from hashtables: marking a table from its record, dropping the
// entries of dead keys, and telling tables when node ids have moved.
#include "memory/collector.h"
#include "memory/hashtable_internal.h"

namespace kaz::hashtable {

using namespace detail;

namespace detail {

uint32_t epoch() { return collector::stats().node_moves + 1; }

}  // namespace detail

namespace {

/*
 * Called by the collector when it marks a record series. Every node id the table holds is
 * marked through its slot, so the collector can rewrite it when it moves nodes. Pointer tables
 * keep their keys and values alive; the ownership table (kind 4) holds its entries weakly:
 * an entry lives while its owned series and its owner do (see sweep_dead_keys).
 */
void mark_record(node_t t) {
  // A table being made is marked too (its node is on the native stack): slots still 0 are
  // skipped.
  uint32_t* r = record_rw(t);
  auto mark = [](uint32_t& slot) {
    if (slot) collector::mark_node(&slot);
  };
  mark(r[f_flags]);
  mark(r[f_keys]);
  uint32_t kind = r[f_kind];
  if (kind == hash_block) mark(r[f_index]);
  if (kind == hash_block && r[f_chains]) {
    collector::mark_node(&r[f_chains]);
    uint32_t* slots = words_rw(r[f_chains]);
    uint32_t n = memory::buffer_of(r[f_chains])->used_bytes() / 4;
    for (uint32_t i = 0; i < n; ++i) mark(slots[i]);
  }
  if (r[f_data] == 0) return;
  if (kind < pointers) {
    collector::mark_series(&r[f_data]);
    return;
  }
  collector::mark_node(&r[f_data]);
  if (kind == owners) return;
  uint32_t width = r[f_width];
  series_buffer* d = memory::buffer_of(r[f_data]);
  for (uint32_t off = 0; off + width <= d->used_bytes(); off += width) {
    cell* e = reinterpret_cast<cell*>(d->head_rw() + off);
    if (e->header != type::unset) continue;
    collector::mark_series(&e->data1);
    collector::mark_values(e + 1, e + width / 16);
  }
}

// The node words a cell holds, by its type (the layouts of the payloads).
void forward_cell(cell* c) {
  uint32_t t = type_of(c);
  auto fwd = [](uint32_t& slot) {
    if (slot >= first_node_id) slot = collector::forwarded(slot);
  };
  if (is_any_string(t) || is_any_block(t) || t == type::binary || t == type::vector ||
      t == type::bitset || t == type::image) {
    fwd(c->data2);
    if (t == type::hash) fwd(c->data3);
  } else if (t == type::object || t == type::error || t == type::port) {
    fwd(c->data1);
    fwd(c->data3);
  } else if (is_any_word(t) && t != type::issue) {
    fwd(c->data1);
  } else if (t == type::map) {
    fwd(c->data2);
    fwd(c->data3);
  }
}

// The ownership table does not keep alive the context its field word is bound to: when that
// context dies the word is left unbound, before its node id can be given to another series.
void unbind_if_context_died(cell* c) {
  uint32_t t = type_of(c);
  if (!is_any_word(t) || t == type::issue || c->data1 == 0) return;
  if (collector::is_marked(c->data1)) return;
  c->data1 = 0;
  c->data3 = 0xFFFFFFFF;  // not bound anywhere
}

}  // namespace

void register_with_collector() {
  static bool done = false;
  if (done) return;
  collector::set_record_marker(mark_record);
  done = true;
}

void sweep_dead_keys(node_t t) {
  const uint32_t* r = record(t);
  uint32_t kind = r[f_kind];
  if (kind < pointers) return;
  uint32_t width = r[f_width];
  series_buffer* d = memory::buffer_of(r[f_data]);
  bool changed = collector::nodes_moved();
  for (uint32_t off = 0; off + width <= d->used_bytes(); off += width) {
    cell* e = reinterpret_cast<cell*>(d->head_rw() + off);
    if (e->header != type::unset) continue;
    node_t key = collector::forwarded(e->data1);
    // The owner is the object in the second value cell: its context must be alive too.
    node_t owner = kind == owners && width >= 48 ? collector::forwarded(e[2].data1) : 0;
    if (!collector::is_marked(key) || (owner && !collector::is_marked(owner))) {
      for (uint32_t i = 0; i < width / 16; ++i) e[i] = cell{0, 0, 0, 0};
      changed = true;
      continue;
    }
    e->data1 = key;
    for (uint32_t i = 1; i < width / 16; ++i) {
      if (kind == owners) unbind_if_context_died(e + i);
      forward_cell(e + i);
    }
  }
  if (changed) rehash_pointers_in_place(t);
}

}  // namespace kaz::hashtable

// Marking: an explicit mark stack, so deeply nested data never deepens the native stack.
#include "memory/collector.h"
#include "memory/gc_internal.h"
#include "memory/node_frames.h"
#include "memory/resources.h"
#include "runtime/tracked_alloc.h"

namespace kaz::collector {

namespace {

enum work_kind : uint32_t { series_work, context_work };

struct work {
  node_t node;
  work_kind kind;
};

// The mark stack is tracked memory and keeps its capacity between collections.
work* stack = nullptr;
size_t depth = 0;
size_t capacity = 0;

void push(node_t node, work_kind kind) {
  if (depth == capacity) {
    size_t grown = capacity ? capacity * 2 : 4096;
    stack = static_cast<work*>(sysrt::realloc(stack, grown * sizeof(work)));
    capacity = grown;
  }
  stack[depth++] = work{node, kind};
}

record_hook record_marker = nullptr;
weak_marker weak_values_marker = nullptr;
node_hook image_marker = nullptr;
uint32_t self_symbol = 0;

constexpr uint32_t stack_values_flag = 0x400000;  // context values live on the evaluation stack
constexpr uint32_t event_series_flag = 0x1000;

// Marking writes into a buffer only to rewrite the id of a node this collection renumbered,
// and what is kept by node id is dropped after such a collection (DESIGN.md, Memory): a marked
// buffer keeps the stamp it had, as a moved one does.
struct kept_stamp {
  series_buffer* b;
  uint32_t stamp;
  explicit kept_stamp(series_buffer* s) : b(s), stamp(s->stamp) {}
  ~kept_stamp() { b->stamp = stamp; }
};

void mark_context_cell(cell* c) {
  if (c->data1) mark_series(&c->data1);  // the symbol table
  if (!(c->header & stack_values_flag)) mark_series(&c->data2);
}

// The default markers, one per payload layout.
void mark_block_cell(cell* c) {
  if (c->data2) mark_series(&c->data2);
}
void mark_hash_cell(cell* c) {
  mark_series(&c->data2);
  if (c->data3) mark_series(&c->data3);
}
void mark_string_cell(cell* c) {
  mark_node(&c->data2);
  if (c->data3) mark_node(&c->data3);
}
void mark_symbol_cell(cell* c) {
  mark_node(&c->data3);
  if (c->data2) mark_node(&c->data2);
}
void mark_word_cell(cell* c) {
  if (!c->data1) return;
  if (self_symbol && c->data2 == self_symbol)
    mark_series(&c->data1);
  else
    mark_context(&c->data1);
}
void mark_native_cell(cell* c) {
  mark_series(&c->data2);
  mark_series(&c->data3);
  uint32_t from = (c->header >> 16) & 0xFF;
  if (type_of(c) == type::op && (from == type::function || from == type::routine))
    mark_context(&c->data1);
}
void mark_function_cell(cell* c) {
  mark_context(&c->data1);
  mark_series(&c->data2);
  mark_series(&c->data3);
}
void mark_data_cell(cell* c) { mark_node(&c->data2); }
void mark_object_cell(cell* c) {
  mark_context(&c->data1);
  if (c->data3) mark_node(&c->data3);
}
void mark_handle_cell(cell* c) {
  if (int32_t(c->data3) >= 0) memory::resources::mark(c->data3, 0);
}
void mark_image_cell(cell* c) {
  if (!c->data2) return;
  mark_node(&c->data2);
  if (image_marker) image_marker(&c->data2);
}
void mark_event_cell(cell* c) {
  if ((c->header & event_series_flag) && c->data2) mark_series(&c->data2);
}

struct marker_table {
  type_marker rows[256] = {};
  marker_table() {
    for (uint32_t t : {type::block, type::paren, type::path, type::lit_path, type::set_path,
                       type::get_path})
      rows[t] = mark_block_cell;
    for (uint32_t t : {type::string, type::file, type::url, type::tag, type::email, type::ref})
      rows[t] = mark_string_cell;
    rows[type::symbol] = mark_symbol_cell;
    rows[type::context] = mark_context_cell;
    for (uint32_t t : {type::word, type::set_word, type::lit_word, type::get_word,
                       type::refinement})
      rows[t] = mark_word_cell;
    for (uint32_t t : {type::native, type::action, type::op}) rows[t] = mark_native_cell;
    for (uint32_t t : {type::function, type::routine}) rows[t] = mark_function_cell;
    for (uint32_t t : {type::bitset, type::vector, type::binary}) rows[t] = mark_data_cell;
    for (uint32_t t : {type::object, type::error, type::port}) rows[t] = mark_object_cell;
    for (uint32_t t : {type::hash, type::map}) rows[t] = mark_hash_cell;
    rows[type::handle] = mark_handle_cell;
    rows[type::image] = mark_image_cell;
    rows[type::event] = mark_event_cell;
  }
};
marker_table markers;

// A context buffer: its context! cell (table, values) and its owner value, both read from the
// start of the data area.
void mark_context_buffer(series_buffer* b) {
  if (b->size < 2 * sizeof(cell)) return;
  kept_stamp kept(b);
  cell* c = reinterpret_cast<cell*>(b->data_rw());
  mark_context_cell(&c[0]);
  mark_cell(&c[1]);
}

}  // namespace

void set_type_marker(uint32_t type, type_marker m) { markers.rows[type & type_mask] = m; }
type_marker get_type_marker(uint32_t type) { return markers.rows[type & type_mask]; }
void set_record_marker(record_hook m) { record_marker = m; }
void set_weak_marker(weak_marker m) { weak_values_marker = m; }
void set_image_marker(node_hook m) { image_marker = m; }
void set_self_symbol(uint32_t symbol) { self_symbol = symbol; }

bool mark_node(node_t* slot) {
  node_t n = *slot;
  if (!memory::nodes::in_table(n)) return false;
  uintptr_t v = *memory::nodes::slot_of(n);
  if ((v & memory::nodes::tag_mask) == memory::nodes::forward_tag) {
    n = memory::nodes::forwarded(n);
    *slot = n;
    v = *memory::nodes::slot_of(n);
  }
  if (v == 0 || (v & memory::nodes::tag_mask)) return false;
  auto* b = reinterpret_cast<series_buffer*>(v);
  if (b->flags & series_flag::mark) return false;
  b->flags |= series_flag::mark;
  return true;
}

void mark_series(node_t* slot) {
  if (mark_node(slot)) push(*slot, series_work);
}

void mark_context(node_t* slot) {
  if (mark_node(slot)) push(*slot, context_work);
}

void mark_block(cell* block) {
  if (block->data2) mark_series(&block->data2);
}

void mark_cell(cell* c) {
  if (type_marker m = markers.rows[type_of(c)]) m(c);
}

void mark_values(cell* first, cell* end) {
  for (cell* c = first; c < end; ++c)
    if (type_marker m = markers.rows[type_of(c)]) m(c);
}

bool is_marked(node_t node) {
  node = memory::nodes::forwarded(node);
  return memory::nodes::in_use(node) && (memory::buffer_of(node)->flags & series_flag::mark);
}

void unmark(node_t node) {
  node = memory::nodes::forwarded(node);
  if (memory::nodes::in_use(node)) memory::buffer_of(node)->flags &= ~series_flag::mark;
}

node_t forwarded(node_t node) { return memory::nodes::forwarded(node); }

void internal::drain() {
  while (depth > 0) {
    work w = stack[--depth];
    series_buffer* b = memory::buffer_of(w.node);
    if (w.kind == context_work) {
      mark_context_buffer(b);
    } else if (b->unit() == sizeof(cell)) {
      if (!(b->flags & series_flag::weak) || !weak_values_marker || !weak_values_marker(w.node)) {
        kept_stamp kept(b);
        cell* first = b->cells_rw();
        mark_values(first, first + b->cell_count());
      }
    } else if ((b->flags & series_flag::record) && record_marker) {
      record_marker(w.node);
    }
  }
}

}  // namespace kaz::collector

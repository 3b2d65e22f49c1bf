#include "core/block_storage.h"

#include <cstring>

#include "core/actions.h"
#include "core/scalar_cell.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "core/typeset.h"
#include "core/word.h"
#include "memory/collector.h"
#include "memory/cycle_guard.h"
#include "memory/cycle_stack.h"
#include "memory/hashtable.h"
#include "runtime/fire.h"

namespace kaz::block {

bool advance_one(cell* b) {
  uint32_t len = absolute_length(b);
  if (b->data1 + 1 <= len) b->data1++;
  return b->data1 >= len;
}

// ---------------------------------------------------------------------------------------------
// Making block values.

// The header is written whole: callers often pass a cell that was never initialised.
void init_cell(cell* c, uint32_t size, uint32_t type_id) {
  c->header = type::unset;  // the cell may be seen by the collector while the buffer is made
  node_t node = memory::alloc_cells(size ? size : 1);
  c->data1 = 0;
  c->data2 = node;
  c->data3 = 0;
  c->header = type_id;
}

void init_cell_with_mode(cell* c, uint32_t size, bool fixed) {
  c->header = type::unset;
  if (size == 0) size = 1;
  node_t node = fixed ? memory::alloc_fixed_series(size, 16, 0) : memory::alloc_cells_cleared(size);
  c->data1 = 0;
  c->data2 = node;
  c->data3 = 0;
  c->header = type::block;
}

namespace {

// The cell new_in_parent and new_in_container use without a parent; a root, since the block
// made in it may be collected otherwise.
cell lone_cell;

// Appends the parent's new cell (unset! until the block is made), or readies the lone cell.
void parent_slot(cell* parent) {
  if (parent) {
    append_cell(parent);
    return;
  }
  static bool rooted = false;
  if (!rooted) {
    rooted = true;
    collector::add_root_cells(&lone_cell);
  }
  lone_cell.header = type::unset;
}

}  // namespace

cell* new_in_parent(cell* parent, uint32_t size) {
  parent_slot(parent);
  cell made{type::unset, 0, 0, 0};
  init_cell_with_mode(&made, size, true);
  // Re-derive: the parent may have moved while the buffer was made.
  cell* c = parent ? rs_tail_rw(parent) - 1 : &lone_cell;
  *c = made;
  return c;
}

cell* new_in_container(cell* parent, uint32_t size) {
  parent_slot(parent);
  cell made{type::unset, 0, 0, 0};
  init_cell(&made, size);
  cell* c = parent ? rs_tail_rw(parent) - 1 : &lone_cell;
  *c = made;
  return c;
}

cell* push_only(uint32_t size) {
  cell* c = stack::reserve_cell();
  init_cell(c, size);
  return c;
}

cell* push_value(const cell* value) { return stack::push(value); }

// ---------------------------------------------------------------------------------------------
// Adding cells.

cell* append_cell(cell* b) { return memory::append_cell(b->data2); }

cell* append_copy(cell* b, const cell* value) {
  cell v = *value;  // the value may live in the buffer that grows
  cell* c = memory::append_cell(b->data2);
  *c = v;
  hash_appended(b, absolute_length(b) - 1);
  return c;
}

void append_cells(cell* b, const cell* source) {
  cell src = *source;
  uint32_t n = length_from_head(&src);
  if (n == 0) return;
  uint32_t from = absolute_length(b);
  series_buffer* s = buffer_of(b);
  s = memory::reserve_tail(s, n * 16);  // may move both buffers (they may be one)
  cell* to = s->cells_rw() + from;
  std::memmove(to, buffer_of(&src)->cells() + src.data1, size_t(n) * 16);
  hash_appended(b, from);
}

void insert_value(cell* b, const cell* value, bool advance, bool at_start) {
  cell v = *value;
  series_buffer* s = buffer_of(b);
  if (s->size < s->used_bytes() + 16) {
    uint64_t want = (uint64_t(s->used_bytes()) + 16) * 2;
    if (want > memory::max_series_bytes) want = uint64_t(s->used_bytes()) + 16;
    if (want > memory::max_series_bytes) fire(err::internal_no_memory);
    s = memory::expand_series_copy(s, static_cast<uint32_t>(want));
  }
  uint32_t len = s->used_bytes() / 16;
  uint32_t at = at_start ? 0 : (b->data1 < len ? b->data1 : len);
  cell* pos = s->cells_rw() + at;
  std::memmove(pos + 1, pos, size_t(len - at) * 16);
  s->tail += 16;
  *pos = v;
  if (advance) b->data1++;
  if (at == len)
    hash_appended(b, at);
  else
    hash_spliced(b, at, 0, 1);
}

void insert_cells(cell* b, const cell* source) {
  cell src = *source;
  uint32_t n = length_from_head(&src);
  for (uint32_t i = 0; i < n; ++i) {
    cell v = *(buffer_of(&src)->cells() + src.data1 + i);
    insert_value(b, &v, true, false);
  }
}

void insert_argument() {
  cell* target = stack::arguments - 1;
  insert_value(target, stack::arguments, true, false);
}

cell* append_argument() {
  append_copy(stack::arguments, stack::arguments + 1);
  return stack::arguments;
}

void append_top() { append_copy(stack::arguments - 1, stack::arguments); }

// ---------------------------------------------------------------------------------------------
// Copying.

namespace {

void copy_into(cell* target, const cell* source_in, bool deep, bool paths) {
  cell source = *source_in;
  uint32_t count = length_from_head(&source);
  target->header = type::unset;
  target->data1 = 0;
  target->data2 = memory::alloc_cells(count ? count : 1);
  target->data3 = 0;
  if (count) {
    series_buffer* to = buffer_of(target);
    std::memcpy(to->cells_rw(), buffer_of(&source)->cells() + source.data1, size_t(count) * 16);
    to->tail = to->offset + count * 16;
  }
  target->header = type_of(&source);
  if (!deep) return;
  cycle_guard guard(source.data2);
  if (!guard.entered()) {
    cycle_stack::reset();
    fire(err::internal_no_cycle);
  }
  // The copy's cells are read again after each nested copy: it allocates, so they may move.
  const cell* cells = buffer_of(target)->cells();
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t t = type_of(cells + i);
    if (t != type::block && !(paths && (t == type::paren || is_any_path(t)))) continue;
    cell nested = cells[i];
    cell* copy = stack::reserve_cell();
    copy_into(copy, &nested, deep, paths);
    cell made = *copy;
    made.header = nested.header;  // the new-line marker and other flags stay
    buffer_of(target)->cells_rw()[i] = made;
    cells = buffer_of(target)->cells();
    stack::drop_values(1);
  }
}

}  // namespace

cell* copy_cells(cell* b, bool deep, bool paths) {
  cell source = *b;
  cell* c = stack::reserve_cell();
  copy_into(c, &source, deep, paths);
  return c;
}

namespace {

bool copied_by_type(uint32_t t) {
  return is_any_block(t) || is_any_string(t) || t == type::vector || t == type::binary ||
         t == type::image || t == type::bitset || t == type::object || t == type::error ||
         t == type::map;
}

bool type_matches(const cell* types, uint32_t t) {
  if (type_of(types) == type::typeset) return typeset::has(types, t);
  return type_of(types) == type::datatype_ && datatype_type::id_of(types) == t;
}

}  // namespace

void copy_nested_of_types(cell* b, uint32_t first, uint32_t end, uint32_t step, bool deep,
                          const cell* types) {
  cell blk = *b;
  cell kind = *types;
  if (step == 0) step = 1;
  for (uint32_t i = first; i < end && i < absolute_length(&blk); i += step) {
    cell v = *rs_abs_at(&blk, i);
    uint32_t t = type_of(&v);
    if (!copied_by_type(t) || !type_matches(&kind, t)) continue;
    slot_fn::copy f = registry::row(t).copy;
    if (!f) continue;
    cell* fresh = stack::reserve_cell();
    f(&v, fresh, nullptr, deep, deep ? &kind : nullptr);
    cell made = *fresh;
    made.header = (v.header & ~type_mask) | type_of(&made);
    if (i < absolute_length(&blk)) *rs_abs_at_rw(&blk, i) = made;
    stack::drop_values(1);
  }
}

// ---------------------------------------------------------------------------------------------
// Searching.

const cell* select_after(cell* b, const cell* value) {
  cell v = *value;
  for (int32_t i = 0; i < rs_length(b); ++i) {
    cell c = *(rs_head(b) + i);
    if (actions::compare_direct(&c, &v, actions::op::find) == 0)
      return i + 1 < rs_length(b) ? rs_head(b) + i + 1 : nullptr;
  }
  return nullptr;
}

const cell* select_word(cell* b, uint32_t sym, bool case_sensitive) {
  int32_t n = rs_length(b);
  uint32_t want = case_sensitive ? sym : symbol::resolve(sym);
  const cell* head = rs_head(b);
  for (int32_t i = 0; i < n; ++i) {
    const cell* c = head + i;
    uint32_t t = type_of(c);
    if (t < type::word || t > type::get_word) continue;
    uint32_t s = case_sensitive ? word::symbol_of(c) : symbol::resolve(word::symbol_of(c));
    if (s == want) return i + 1 < n ? head + i + 1 : nullptr;
  }
  return nullptr;
}

int32_t remove_value(cell* b, const cell* value, bool from_start) {
  cell v = *value;
  uint32_t start = from_start ? 0 : b->data1;
  for (uint32_t i = start; i < absolute_length(b); ++i) {
    cell c = *rs_abs_at(b, i);
    if (actions::compare_direct(&c, &v, actions::op::find) != 0) continue;
    series_buffer* s = buffer_of(b);
    cell* at = s->cells_rw() + i;
    std::memmove(at, at + 1, size_t(s->used_bytes() / 16 - i - 1) * 16);
    s->tail -= 16;
    hash_spliced(b, i, 1, 0);
    return i <= b->data1 ? 1 : 0;
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------
// hash! tables.

void hash_appended(const cell* b, uint32_t from) {
  if (type_of(b) != type::hash || b->data3 == 0) return;
  node_t table = b->data3;
  for (uint32_t p = from; p < absolute_length(b); ++p) {
    bool rebuilt = false;
    hashtable::put_value(table, p, &rebuilt);
    if (rebuilt) return;  // the whole block is indexed now
  }
}

void hash_spliced(const cell* b, uint32_t at, uint32_t removed, uint32_t inserted) {
  if (type_of(b) == type::hash && b->data3 != 0)
    hashtable::splice_values(b->data3, at, removed, inserted);
}

void hash_rotated(const cell* b, uint32_t first, uint32_t middle, uint32_t last) {
  if (type_of(b) == type::hash && b->data3 != 0)
    hashtable::rotate_values(b->data3, first, middle, last);
}

void hash_swapped(const cell* b, uint32_t first, uint32_t second) {
  if (type_of(b) == type::hash && b->data3 != 0) hashtable::swap_values(b->data3, first, second);
}

void hash_changed(const cell* b) {
  if (type_of(b) == type::hash && b->data3 != 0) hashtable::rebuild(b->data3);
}

}  // namespace kaz::block

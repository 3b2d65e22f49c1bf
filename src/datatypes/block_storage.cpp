#include "datatypes/block_storage.h"

#include <cstring>

#include "core/fire.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "core/actions.h"

namespace kaz::block {

void init_cell(cell* c, uint32_t size, uint32_t type_id) {
  c->header = type::unset;
  node_t node = memory::alloc_cells(size ? size : 1);
  c->data1 = 0;
  c->data2 = node;
  c->data3 = 0;
  c->header = type_id;
}

cell* push_only(uint32_t size) {
  cell* c = stack::reserve_cell();
  init_cell(c, size);
  return c;
}

cell* append_cell(cell* b) { return memory::append_cell(b->data2); }

cell* append_copy(cell* b, const cell* value) {
  cell v = *value;  // the value may live in the buffer that grows
  cell* c = memory::append_cell(b->data2);
  *c = v;
  return c;
}

void append_cells(cell* b, cell* source) {
  int32_t n = rs_length(source);
  for (int32_t i = 0; i < n; ++i) {
    cell v = *(rs_head(source) + i);
    *memory::append_cell(b->data2) = v;
  }
}

void insert_value(cell* b, const cell* value, bool advance, bool at_start) {
  cell v = *value;
  series_buffer* s = buffer_of(b);
  if (s->size < (s->tail - s->offset) + 16) {
    uint64_t want = (uint64_t(s->tail - s->offset) + 16) * 2;
    if (want > memory::max_series_bytes) fire(err::internal_no_memory);
    s = memory::expand_series_copy(s, static_cast<uint32_t>(want));
  }
  uint32_t len = (s->tail - s->offset) / 16;
  uint32_t at = at_start ? 0 : (b->data1 < len ? b->data1 : len);
  cell* pos = s->cells() + at;
  std::memmove(pos + 1, pos, (len - at) * 16);
  s->tail += 16;
  *pos = v;
  if (advance) b->data1++;
}

namespace {

void copy_into(cell* target, cell* source, bool deep, bool paths) {
  int32_t n = rs_length(source);
  uint32_t count = n > 0 ? static_cast<uint32_t>(n) : 0;
  target->header = type::unset;
  target->data1 = 0;
  target->data2 = memory::alloc_cells(count ? count : 1);
  target->data3 = 0;
  series_buffer* to = buffer_of(target);
  if (count) {
    std::memcpy(to->cells(), rs_head(source), size_t(count) * 16);
    to->tail = to->offset + count * 16;
  }
  target->header = type_of(source);
  if (!deep) return;
  for (uint32_t i = 0; i < count; ++i) {
    cell* c = buffer_of(target)->cells() + i;
    uint32_t t = type_of(c);
    if (t == type::block || (paths && (t == type::paren || is_any_path(t)))) {
      cell nested = *c;
      cell* copy = stack::reserve_cell();
      copy_into(copy, &nested, deep, paths);
      cell* slot = buffer_of(target)->cells() + i;
      uint32_t header = slot->header;
      *slot = *copy;
      slot->header = header;
      stack::drop_values(1);
    }
  }
}

}  // namespace

cell* copy_cells(cell* b, bool deep, bool paths) {
  cell source = *b;
  cell* c = stack::reserve_cell();
  copy_into(c, &source, deep, paths);
  return c;
}

cell* select_after(cell* b, const cell* value) {
  int32_t n = rs_length(b);
  for (int32_t i = 0; i < n; ++i) {
    cell* c = rs_head(b) + i;
    if (actions::compare_direct(c, value, 12) == 0) {
      if (i + 1 >= rs_length(b)) return nullptr;
      return rs_head(b) + i + 1;
    }
  }
  return nullptr;
}

cell* select_word(cell* b, uint32_t sym, bool case_sensitive) {
  int32_t n = rs_length(b);
  uint32_t want = case_sensitive ? sym : symbol::resolve(sym);
  cell* head = rs_head(b);
  for (int32_t i = 0; i < n; ++i) {
    cell* c = head + i;
    uint32_t t = type_of(c);
    if (t < type::word || t > type::get_word) continue;
    uint32_t s = case_sensitive ? c->data2 : symbol::resolve(c->data2);
    if (s == want) return i + 1 < n ? head + i + 1 : nullptr;
  }
  return nullptr;
}

}  // namespace kaz::block

// The value buffer and open series: values are collected in one cell series and become blocks,
// parens, paths and maps when their closing delimiter is met.
#include <cstring>

#include "core/block_storage.h"
#include "core/series_cell.h"
#include "datatypes/map.h"
#include "loader/lexer_hooks.h"
#include "loader/lexer_state.h"
#include "memory/hashtable.h"
#include "runtime/fire.h"

namespace kaz::lexer {

lexer_hooks hooks;

uint32_t buffer_length(const lexer_state& s) { return memory::buffer_of(s.buffer)->length(); }

const cell* buffer_cell(const lexer_state& s, uint32_t index) {
  return memory::buffer_of(s.buffer)->cells() + index;
}

namespace {

// The same cell, to write.
cell* buffer_cell_rw(const lexer_state& s, uint32_t index) {
  return memory::buffer_of(s.buffer)->cells_rw() + index;
}

}  // namespace

void truncate_buffer(const lexer_state& s, uint32_t length) {
  series_buffer* b = memory::buffer_of(s.buffer);
  b->tail = b->offset + length * 16;
}

cell* append_value(lexer_state& s, const cell& value) {
  cell copy = value;  // the value may be a cell of the buffer, which can move below
  cell* c = memory::append_cell(s.buffer);
  *c = copy;
  if (s.new_line) c->header |= new_line_flag;
  else c->header &= ~new_line_flag;
  return c;
}

void value_done(lexer_state& s, uint32_t type_id) {
  if (s.open_head != no_open) return;
  s.complete = true;
  s.saw_value = true;
  s.result_type = type_id;
}

namespace {

constexpr uint32_t marker_type = type::triple;

inline uint32_t marker_kind(const cell* m) { return m->data2 & 0xFFFF; }

// Type the open-series chain continues with after popping a marker.
uint32_t type_below(const lexer_state& s, uint32_t previous) {
  return previous == no_open ? 0 : marker_kind(buffer_cell(s, previous));
}

/*
 * A map! over the pairs block, as map! makes one: new-line markers cleared, the keys indexed by
 * a table of kind map (a repeated key keeps its first place and takes the last value).
 */
void make_map(cell* out, cell* pairs) {
  series_buffer* b = block::buffer_of(pairs);
  for (cell* c = b->cells_rw(); c < b->cells_tail(); ++c) c->header &= ~new_line_flag;
  uint32_t n = b->length();
  node_t block_node = series::node_of(pairs);
  node_t table = hashtable::create(n ? n : 2, block_node, hashtable::map_block, 1);
  *out = cell{type::map, 0, block_node, table};
}

// A series of the type holding copies of the buffer cells [from, from + n).
void make_series(lexer_state& s, uint32_t from, uint32_t n, uint32_t type_id, cell* out) {
  block::init_cell(out, n ? n : 1, type_id);
  series_buffer* dst = block::buffer_of(out);
  std::memcpy(dst->cells_rw(), buffer_cell(s, from), size_t(n) * sizeof(cell));
  block::set_tail_at(out, n);
}

}  // namespace

void open_series(lexer_state& s, uint32_t type_id, const uint8_t* opener, bool new_line) {
  cell m;
  m.header = marker_type | (new_line ? new_line_flag : 0);
  m.data1 = s.open_head;
  m.data2 = type_id;
  m.data3 = static_cast<uint32_t>(opener - s.input_start);
  uint32_t index = buffer_length(s);
  cell* c = memory::append_cell(s.buffer);
  *c = m;
  s.open_head = index;
  s.open_type = type_id;
}

uint32_t open_commas(const lexer_state& s) {
  return s.open_head == no_open ? 0 : buffer_cell(s, s.open_head)->data2 >> 16;
}

void retype_open_series(lexer_state& s, uint32_t type_id, uint32_t commas) {
  cell* m = buffer_cell_rw(s, s.open_head);
  m->data2 = type_id | (commas << 16);
  s.open_type = type_id;
}

bool pop_marker(lexer_state& s) {
  uint32_t at = s.open_head;
  cell marker = *buffer_cell(s, at);
  truncate_buffer(s, at);
  s.open_head = marker.data1;
  s.open_type = type_below(s, s.open_head);
  return marker.header & new_line_flag;
}

void close_series(lexer_state& s) {
  uint32_t at = s.open_head;
  cell marker = *buffer_cell(s, at);
  uint32_t type_id = marker_kind(&marker);
  uint32_t from = at + 1;
  uint32_t n = buffer_length(s) - from;

  if (type_id == type::map) {
    if (n % 2 != 0) throw_error(s, type::map);
    for (uint32_t i = 0; i < n; i += 2)
      if (!map::key_type_q(type_of(buffer_cell(s, from + i)))) throw_error(s, type::map);
  }

  if (s.load) {
    cell v{};
    if (type_id == type::map) {
      cell pairs{};
      make_series(s, from, n, type::block, &pairs);
      if (hooks.make_map) hooks.make_map(&v, &pairs);
      else make_map(&v, &pairs);
    } else {
      make_series(s, from, n, type_id, &v);
    }
    v.header = (v.header & ~new_line_flag) | (marker.header & new_line_flag);
    *buffer_cell_rw(s, at) = v;
    truncate_buffer(s, from);
  } else {
    truncate_buffer(s, at);
  }
  s.open_head = marker.data1;
  s.open_type = type_below(s, s.open_head);
  value_done(s, type_id);
}

}  // namespace kaz::lexer

// Block storage: where a block's head and tail cells are, making block values, adding, copying
// and searching cells. The block actions build on these.
#pragma once

#include <cstdint>

#include "datatypes/cell.h"
#include "memory/series.h"

namespace kaz::block {

// Block-family cells: data1 the head index in cells, data2 the cell buffer's node, data3 0
// (hash!: its hashtable node).
inline series_buffer* buffer_of(const cell* b) { return memory::buffer_of(b->data2); }

// Cells from the head to the tail; negative when the head lies past the tail.
inline int32_t rs_length(const cell* b) {
  series_buffer* s = buffer_of(b);
  return static_cast<int32_t>((s->tail - s->offset) / 16) - static_cast<int32_t>(b->data1);
}
// The head cell; a head past the tail is first moved back to the tail.
inline cell* rs_head(cell* b) {
  series_buffer* s = buffer_of(b);
  uint32_t len = (s->tail - s->offset) / 16;
  if (b->data1 > len) b->data1 = len;
  return s->cells() + b->data1;
}
inline cell* rs_tail(const cell* b) { return buffer_of(b)->cells_tail(); }
inline bool rs_tail_q(const cell* b) { return rs_length(b) == 0; }
inline cell* rs_abs_at(const cell* b, uint32_t index) { return buffer_of(b)->cells() + index; }
inline void set_tail_at(const cell* b, uint32_t index) {
  series_buffer* s = buffer_of(b);
  s->tail = s->offset + index * 16;
}

// Makes the cell an empty block! with room for `size` cells (at least 1).
void init_cell(cell* c, uint32_t size, uint32_t type_id = type::block);
// Pushes a new empty block on the evaluation stack.
cell* push_only(uint32_t size);

// Appends a copy of the value at the tail; answers the new cell.
cell* append_copy(cell* b, const cell* value);
// Appends an unset! cell at the tail; answers it (valid until the next allocation).
cell* append_cell(cell* b);
// Appends copies of the source's cells from its head to its tail.
void append_cells(cell* b, cell* source);
// Inserts a copy of the value before the head (or at the buffer start); with advance the head
// moves past it.
void insert_value(cell* b, const cell* value, bool advance, bool at_start);

// A new block on the evaluation stack with copies of the cells from the head to the tail; with
// deep, nested blocks (and parens and paths when `paths`) are copied too.
cell* copy_cells(cell* b, bool deep, bool paths);

// The cell after the first cell equal to the value (or, for select_word, the first any-word of
// the same symbol); null when not found or when the match is the last cell.
cell* select_after(cell* b, const cell* value);
cell* select_word(cell* b, uint32_t symbol, bool case_sensitive);

}  // namespace kaz::block

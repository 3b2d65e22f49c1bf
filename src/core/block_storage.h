// Block storage: where a block's head and tail cells are, making block values, adding, copying
// and searching cells. The block actions, the interpreter and the loader build on these.
#pragma once

#include <cstdint>

#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::block {

/*
 * Block-family cells (block!, paren!, the path family, hash!): data1 the head index in cells,
 * data2 the cell buffer's node, data3 0 (hash!: its hashtable node). The head may lie past the
 * tail; the accessors say which ones clamp. Pointers into a buffer are valid only until the
 * next allocation: re-derive them from the cell afterwards.
 */
inline series_buffer* buffer_of(const cell* b) { return memory::buffer_of(b->data2); }
inline uint32_t absolute_length(const cell* b) { return buffer_of(b)->used_bytes() / 16; }

// Cells from the head to the tail; negative when the head lies past the tail.
inline int32_t rs_length(const cell* b) {
  return static_cast<int32_t>(absolute_length(b)) - static_cast<int32_t>(b->data1);
}
// The same, never below 0.
inline uint32_t length_from_head(const cell* b) {
  int32_t n = rs_length(b);
  return n > 0 ? static_cast<uint32_t>(n) : 0;
}
// The head cell; a head past the tail is first moved back to the tail. The `_rw` forms answer
// cells to write (see series_buffer).
inline const cell* rs_head(cell* b) {
  series_buffer* s = buffer_of(b);
  uint32_t len = s->used_bytes() / 16;
  if (b->data1 > len) b->data1 = len;
  return s->cells() + b->data1;
}
inline cell* rs_head_rw(cell* b) {
  series_buffer* s = buffer_of(b);
  uint32_t len = s->used_bytes() / 16;
  if (b->data1 > len) b->data1 = len;
  return s->cells_rw() + b->data1;
}
inline const cell* rs_tail(const cell* b) { return buffer_of(b)->cells_tail(); }
inline cell* rs_tail_rw(const cell* b) { return buffer_of(b)->cells_tail_rw(); }
// Whether the head is exactly at the tail (a head past the tail is not).
inline bool rs_tail_q(const cell* b) { return rs_length(b) == 0; }
inline const cell* rs_abs_at(const cell* b, uint32_t index) { return buffer_of(b)->cells() + index; }
inline cell* rs_abs_at_rw(const cell* b, uint32_t index) { return buffer_of(b)->cells_rw() + index; }
inline void set_tail_at(const cell* b, uint32_t index) {
  series_buffer* s = buffer_of(b);
  s->tail = s->offset + index * 16;
}
// Drops everything from the head on.
inline void clear_from_head(const cell* b) { set_tail_at(b, b->data1); }
// Moves the head one cell on when that cell exists; answers whether the head is then the tail.
bool advance_one(cell* b);

// Making block values.
// The cell becomes an empty block of the type with room for `size` cells (at least 1).
void init_cell(cell* c, uint32_t size, uint32_t type_id = type::block);
// The same over a fixed buffer (never moved, never collected) when `fixed`, otherwise over one
// whose cells are preset to unset!.
void init_cell_with_mode(cell* c, uint32_t size, bool fixed);
// A fresh cell appended to the parent block (or, without one, the one static cell kept for
// such calls) made a block of `size` cells: fixed, or collected for new_in_container.
cell* new_in_parent(cell* parent, uint32_t size);
cell* new_in_container(cell* parent, uint32_t size);
// A new empty block on the evaluation stack (the usual way to start a result block).
cell* push_only(uint32_t size);
// A copy of any value on the evaluation stack.
cell* push_value(const cell* value);

// Adding cells.
// Appends a copy of the value at the tail; answers the new cell.
cell* append_copy(cell* b, const cell* value);
// Appends an unset! cell at the tail; answers it.
cell* append_cell(cell* b);
// Appends copies of the source's cells from its head to its tail.
void append_cells(cell* b, const cell* source);
// Inserts a copy of the value before the head (or at the buffer start); with advance the head
// moves past it.
void insert_value(cell* b, const cell* value, bool advance, bool at_start);
// Inserts the source's cells at the head in order; the head ends after them.
void insert_cells(cell* b, const cell* source);
// The stack forms used by compiled code: insert the first argument into the block just below
// it; append the second argument to the block in the first; append the first argument to the
// block just below it.
void insert_argument();
cell* append_argument();
void append_top();

// Copying.
// A new block on the evaluation stack with copies of the cells from the head to the tail, of
// the source's datatype; with deep, nested blocks (and parens and paths when `paths`) are copied
// too, keeping their headers (new-line markers included).
cell* copy_cells(cell* b, bool deep, bool paths);
// Replaces, in the block's cells from `first` to `end` (absolute indexes, end excluded) by
// `step`, every series, object or map value whose type `types` names (a datatype! or typeset!)
// by a copy made by the copy action, with deep (and the types when deep) passed on.
void copy_nested_of_types(cell* b, uint32_t first, uint32_t end, uint32_t step, bool deep,
                          const cell* types);

// Searching (equality: the compare action's find code).
// The cell after the first cell equal to the value, or after the first word (word!, set-word!,
// lit-word!, get-word!) of the same symbol, aliases resolved unless case_sensitive; null when
// not found or when the match is the last cell.
const cell* select_after(cell* b, const cell* value);
const cell* select_word(cell* b, uint32_t symbol, bool case_sensitive);
// Removes the first cell equal to the value from the head (or the buffer start). Answers 0 when
// nothing was removed, else 1 when the removed cell was at or before the head, 0 after it.
int32_t remove_value(cell* b, const cell* value, bool from_start);

// hash! blocks keep a table of their cells, told of each change once it is made (nothing for
// other block types). After cells were appended from absolute index `from` on, they are
// indexed. hash_spliced: the `removed` cells at absolute index `at` were replaced by `inserted`
// cells (an insertion, a removal or an overwrite). hash_rotated: the cells of [first, last)
// were rotated so that the one at `middle` came first. hash_swapped: the cells at two absolute
// indexes were exchanged. hash_changed: anything else; the table
// is built again.
void hash_appended(const cell* b, uint32_t from);
void hash_spliced(const cell* b, uint32_t at, uint32_t removed, uint32_t inserted);
void hash_rotated(const cell* b, uint32_t first, uint32_t middle, uint32_t last);
void hash_swapped(const cell* b, uint32_t first, uint32_t second);
void hash_changed(const cell* b);

}  // namespace kaz::block

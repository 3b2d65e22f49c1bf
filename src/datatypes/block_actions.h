// The action slots of block! (inherited by paren!, the path family and hash!) and the routines
// other datatypes share with it.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::block_type {

// Slots, in the action's argument order (see registry.h).
cell* make(cell* proto, cell* spec, uint32_t type);
cell* to(cell* proto, cell* spec, uint32_t type);
int32_t form(cell* b, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* b, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit,
             int32_t indent);
int32_t compare(cell* a, cell* b, int32_t op);
const cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* gparent,
                cell* p_item, int32_t index, bool case_, bool get, bool tail);
cell* insert(cell* series, cell* value, int32_t part, bool only, int32_t dup, bool append);
cell* change(cell* series, cell* value, int32_t part, bool only, int32_t dup);
cell* copy(cell* series, cell* result, cell* part, bool deep, cell* types);
cell* find(cell* series, cell* value, cell* part, bool only, bool case_, bool same, bool any,
           cell* with, cell* skip, bool last, bool reverse, bool tail, bool match);
cell* put(cell* series, cell* key, cell* value, bool case_);
cell* select(cell* series, cell* value, cell* part, bool only, bool case_, bool same, bool any,
             cell* with, cell* skip, bool last, bool reverse);
cell* sort(cell* series, bool case_, cell* skip, cell* comparator, cell* part, bool all,
           bool reverse, bool stable);
cell* swap(cell* series1, cell* series2);
cell* take(cell* series, cell* part, bool deep, bool last);
cell* trim(cell* series, bool head, bool tail, bool auto_, bool lines, bool all, cell* with);

/*
 * Where find looks: the absolute index of the first cell of a match, or -1. Matching: without
 * `only`, a datatype! matches cells of that type, a typeset! cells of its types, and an
 * any-block value its cells in sequence; otherwise the value is compared whole, under the
 * comparison code `op`. `length` receives the matched cells' count.
 */
struct search {
  cell* part = nullptr;
  cell* skip = nullptr;
  bool only = false;
  bool last = false;
  bool reverse = false;
  bool match = false;
  int32_t op = 12;
};
int64_t locate(cell* series, const cell* value, const search& how, uint32_t* length);

// The body of mold: each cell molded, new-line markers and indentation; the block-like types
// add their own delimiters around it.
int32_t mold_cells(cell* b, cell* buffer, bool only, bool all, bool flat, cell* part,
                   int32_t limit, int32_t indent);
// The body of compare.
int32_t compare_cells(cell* a, cell* b, int32_t op);

// The order of two values of datatypes that do not compare with each other: series values
// (blocks, text, binary!, vector!, image!) after all others, and by datatype id within each
// group, so that numbers sort before strings. Negative, 0 or positive.
int32_t type_order(uint32_t a, uint32_t b);

// The order a comparison function's answer gives for its two arguments (the first argument
// comes first when negative): true, none! and any other value but false put the first first,
// false the second; an integer! is its own order, a float! its sign.
int32_t comparator_order(const cell* answer);
// Calls a comparison function of two arguments with a and b (in a frame named
// <compare-callback>) and answers the order of its answer. An exit out of it goes on to its
// target across the sort (see exit_in_flight).
int32_t sort_compare_func(const cell* a, const cell* b, const cell* function);

// The engine of the set natives over the two argument slots of the calling native: codes 8
// unique, 9 union, 10 intersect, 11 exclude, 12 difference. skip is null when absent. The
// result replaces the first argument.
void set_operation(bool case_, const cell* skip, int32_t code);

}  // namespace kaz::block_type

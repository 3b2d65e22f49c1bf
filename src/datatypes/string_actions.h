// The string! action slots, shared by the files that implement them and by the datatypes that
// register them (tag!, email!, ref!; file!, url!, binary! and vector! inherit them).
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::string_type {

cell* make(cell* proto, cell* spec, uint32_t type);
cell* to(cell* proto, cell* spec, uint32_t type);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit,
             int32_t indent);
const cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* gparent,
                cell* p_item, int32_t index, bool case_, bool get, bool tail);
int32_t compare(cell* a, cell* b, int32_t op);

// append and insert (one slot function), change.
cell* insert(cell* series, cell* value, int32_t part, bool only, int32_t dup, bool append);
cell* change(cell* series, cell* value, int32_t part, bool only, int32_t dup);

cell* find(cell* series, cell* value, cell* part, bool only, bool case_, bool same, bool any,
           cell* with, cell* skip, bool last, bool reverse, bool tail, bool match);
cell* select(cell* series, cell* value, cell* part, bool only, bool case_, bool same, bool any,
             cell* with, cell* skip, bool last, bool reverse);

cell* sort(cell* series, bool case_, cell* skip, cell* comparator, cell* part, bool all,
           bool reverse, bool stable);
cell* swap(cell* a, cell* b);
cell* take(cell* series, cell* part, bool deep, bool last);
cell* trim(cell* series, bool head, bool tail, bool auto_, bool lines, bool all, cell* with);

// The element at an absolute index as a value: char! for text, integer! for binary!, a value of
// the element type for vector!. element_value reads one at an address.
void element_at(const cell* series, uint32_t index, cell* out);
void element_value(const uint8_t* p, uint32_t unit, uint32_t series_type, uint32_t element_type,
                   cell* out);

// Removes every character of the set from the head to the tail: the units of a string or
// binary! (from its head), one char! or integer!, or with no set tab, line feed, carriage
// return and space. binary! trimming shares it.
void trim_chars(cell* series, const cell* with);

// The set natives' work on text: the two series are the first two arguments of the running
// native (stack::arguments); the first takes the result, a new buffer of its own type, and is
// answered. Records are /skip characters (1 by default), known by their first character, which
// is compared folding case unless case_.
namespace set_op {
constexpr int32_t unique = 8;
constexpr int32_t union_ = 9;
constexpr int32_t intersect = 10;
constexpr int32_t exclude = 11;
constexpr int32_t difference = 12;
}  // namespace set_op
cell* set_operation(bool case_, cell* skip, int32_t op);

}  // namespace kaz::string_type

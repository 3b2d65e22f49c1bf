// The actions every series datatype shares, written once for any unit size (1, 2 or 4 bytes of
// text, the element width of vector!, 16-byte cells of the block family), and the routines the
// series datatypes build their own actions on.
#pragma once

#include <cstdint>

#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::series {

/*
 * A series value: data1 the head index in units, data2 the buffer's node, data3 per type (hash!
 * its hashtable, vector! its element datatype). The head may lie past the tail when another
 * reference removed units; every routine here clamps or tests for that. Positions in bytes are
 * offset + head * unit.
 */
inline series_buffer* buffer_of(const cell* v) { return memory::buffer_of(v->data2); }

// Whether the head is at or past the tail.
bool at_tail(const cell* v);
// Units from the buffer's start to its tail, whatever the head.
uint32_t absolute_length(const cell* v);
// Moves the head n units on unless that passes the tail; answers whether the position is then
// at or past the tail.
bool advance_head(cell* v, int32_t n);
// Units from the head (or from index 0) to the tail; a head past the tail is first moved back
// to the tail, and 0 is answered.
uint32_t length_from_head(cell* v, bool from_start = false);

// An integer! as it is, a float! or percent! truncated toward zero; a number outside the 32-bit
// range (or NaN) raises out-of-range.
int32_t to_int_arg(const cell* number);

// The count a /part argument gives: an integer! (or a number, truncated), or a series of the
// same datatype and buffer (its head minus the series' head). Anything else raises
// invalid-refine-arg naming `part`.
int32_t part_count(const cell* series, const cell* part);
// Raises invalid-refine-arg with the refinement word and its argument.
[[noreturn]] void bad_refine_arg(const char* word, const cell* value);
// The same for an argument given with `series`: the string family and binary! name the
// refinement itself (/part), the others its word (part).
[[noreturn]] void bad_refine_arg(const cell* series, const char* word, const cell* value);

// The element at an absolute index as a value: the block family's cell itself, binary!'s byte
// as an integer!, a vector! element of its element type, a char! for the string family. Values
// other than block cells are pushed on the evaluation stack.
const cell* element_at(const cell* series, uint32_t index);

/*
 * Changes of owned series are reported to their owner before and after (reactive objects).
 * `owned_before` answers whether the series is owned (when so, the owner has heard the action
 * word); `owned_after` then reports the past form. Both cost one flag test when not owned.
 */
enum class change : uint8_t {
  append, insert, change, clear, poke, put, remove, random, reverse, sort, swap, take, move, trim,
};
bool owned_before(const cell* series, change what, const cell* value, int32_t index,
                  int32_t part);
void owned_after(const cell* series, change what, const cell* value, int32_t index,
                 int32_t part);

// The series! slots that the block and string families wrap.
const cell* pick(cell* series, int32_t index, cell* boxed);
cell* poke(cell* series, int32_t index, cell* value, cell* boxed);
cell* clear(cell* series);
cell* remove(cell* series, cell* part, cell* key);
cell* copy(cell* series, cell* result, cell* part, bool deep, cell* types);
cell* take(cell* series, cell* part, bool deep, bool last);

// take without /part on a series whose element is wanted, not a one-element series: removes
// the element (from the head, or the last one) and writes it into `out` as element_at does.
// Answers false, writing nothing, when the series is empty from its head.
bool take_one(cell* series, bool last, cell* out);

void init();  // registers series!

}  // namespace kaz::series

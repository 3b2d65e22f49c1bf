// binary!: the byte series. Storage primitives, the conversion of values into bytes that to,
// append, insert and change rest on, and the byte matching the parse engine uses.
#pragma once

#include <cstdint>

#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::binary {

/*
 * A binary! cell: data1 the head index in bytes, data2 the node of a unit-1 buffer, data3 0.
 * The head may lie past the tail after the buffer was shortened through another value: every
 * operation clamps it (the length is then 0, and writes go to the tail).
 */
inline series_buffer* buffer_of(const cell* v) { return memory::buffer_of(v->data2); }

// Bytes from the head to the tail (0 when the head lies past the tail).
uint32_t rs_length(const cell* v);
// Address of the head byte (not clamped).
inline const uint8_t* rs_head(const cell* v) { return buffer_of(v)->head() + v->data1; }
inline uint8_t* rs_head_rw(const cell* v) { return buffer_of(v)->head_rw() + v->data1; }

// Makes the cell an empty binary! (head 0) over a new buffer with room for `size` bytes.
cell* init_cell(cell* c, uint32_t size);
// A new binary! holding a copy of n bytes: on the evaluation stack, or appended to a block.
cell* push_from_buffer(const uint8_t* source, uint32_t n);
cell* from_buffer_into(const uint8_t* source, uint32_t n, cell* block);
// Appends n bytes at the tail; inserts them `offset` bytes after the head. Answer where they
// were written (valid until the next allocation).
uint8_t* append_bytes(cell* v, const uint8_t* source, uint32_t n);
uint8_t* insert_bytes(cell* v, uint32_t offset, const uint8_t* source, uint32_t n);
// Appends the four bytes of an integer, most significant first.
void append_int32_be(int32_t value, cell* v);

/*
 * The byte conversion of a value, in two passes so that nothing changes before every value was
 * checked: `byte_count` raises the errors (a datatype without bytes: bad-to-arg; an integer
 * outside -128..255: invalid-arg; a block inside itself: no-cycle); `write_bytes` then writes
 * exactly that many bytes and cannot fail.
 *   char!: its UTF-8; integer!: its low byte; binary!: its bytes from the head; tuple!: its
 *   bytes; the string family: the UTF-8 of the text from the head; block!, paren!, hash!: the
 *   bytes of each value in turn.
 * A limit of 1 or more cuts a char!, binary!, tuple! or text value to that many bytes; for a
 * block it counts values (each converted whole), or with `only` bytes across the block.
 */
uint64_t byte_count(const cell* value, int32_t limit, bool only);
uint8_t* write_bytes(uint8_t* out, const cell* value, int32_t limit, bool only);

/*
 * Compares the bytes from the heads (a string-family other value by the UTF-8 of its text):
 * -1, 0 or 1, or -2 when the other value is neither binary! nor of the string family. With
 * `prefix`, answers 0 when the other value's bytes begin this value's.
 */
int32_t compare_bytes(const cell* value, const cell* other, int32_t op, bool prefix);
// For parse: whether the byte at the head is in the bitset; whether the rule (a string-family
// or binary! value, or a char!) matches at the head.
bool head_byte_in_bitset_q(const cell* value, const cell* bitset);
bool match_at_head_q(const cell* value, const cell* rule, int32_t op);

// Removes zero bytes at the head end and/or the tail end of the bytes from the head.
void trim_nulls(cell* value, bool head, bool tail);

void init();

}  // namespace kaz::binary

// Text series and their encodings: loading UTF-8 and UTF-16LE into string buffers, widening a
// buffer in place, and encoding a string value for the operating system through a scratch
// buffer kept with the value.
#pragma once

#include <cstddef>
#include <cstdint>

#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::unicode {

// The text of a string-family value from its head: first unit, unit width, units (at most
// max_units when that is not negative). Heads count units from the start of the buffer's
// data; a head past the tail gives no text. A unit width other than 1, 2, 4 is runtime error
// 101.
struct text_range {
  const uint8_t* p;
  uint32_t unit;
  uint32_t count;
};
text_range text_from_head(const cell* v, int32_t max_units = -1);

// The same for the bytes of a binary!.
text_range bytes_from_head(const cell* v);

// ---------------------------------------------------------------------------------------------
// Widening: the whole used area from the start of the data, not only from the head, moves to
// the wider unit; the buffer grows first when it is too small. Answers the buffer (possibly a
// new one, which the node names).
series_buffer* widen_1_to_2(series_buffer* s);
series_buffer* widen_1_to_4(series_buffer* s);
series_buffer* widen_2_to_4(series_buffer* s);
// Widens to `unit` when the buffer is narrower; any width other than 1, 2, 4 is runtime
// error 100.
series_buffer* widen_to(series_buffer* s, uint32_t unit);

// ---------------------------------------------------------------------------------------------
// Loading.

/*
 * Decodes `len` bytes of UTF-8 into a string buffer: appended to `target` (kept at its unit or
 * widened as the text needs), or into a new buffer of the narrowest unit when target is 0.
 * A leading byte-order mark is skipped; with crlf, CR LF and lone CRs become LF. An incomplete
 * sequence at the end is left over: with `remainder` given, its byte count is written there
 * (for a caller reading in pieces, who carries those bytes to the next piece); without it the
 * leftover is malformed. A malformed sequence raises access invalid-utf8 with a binary! of the
 * (up to) 4 bytes at that position. Answers the buffer's node.
 */
node_t utf8_decode_into_string(const uint8_t* src, size_t len, node_t target, size_t* remainder,
                               bool crlf);
// A new string buffer from UTF-8, no line-end folding; malformed or incomplete input raises.
node_t utf8_load_new(const uint8_t* src, size_t len);

/*
 * Decodes `count` UTF-16LE units into a string buffer: replacing the text of `target` (a
 * string-family cell, which then names the new buffer at head 0) or into a new buffer when
 * target is null. Surrogate pairs make one code point; an unpaired surrogate is kept as a code
 * point of its own. With drop_cr every CR is dropped. Answers the buffer's node.
 */
node_t utf16_decode_into_string(const uint8_t* src, size_t count, cell* target, bool drop_cr);

// ---------------------------------------------------------------------------------------------
// Encoding a string value (its text from the head). The result lives in a scratch buffer of
// its own (a byte series whose node the cell keeps in data3 until its next conversion, so the
// value keeps it alive); it stays valid until the next allocation.

// A new scratch buffer for a string cell with room for `bytes` bytes: its data.
uint8_t* scratch_buffer(cell* string, uint32_t bytes);

/*
 * The text as UTF-8 followed by a NUL, each LF written as CR LF with crlf. *length: in, at most
 * that many units (-1 for all); out, the bytes without the NUL. A NUL character of the text is
 * encoded like any other (callers that pass text to C interfaces check for it). A code point
 * above 10FFFFh raises script invalid-char.
 */
const uint8_t* utf8_from_string(cell* string, int32_t* length, bool crlf = false);

// The text as UTF-16 (native order) followed by a NUL unit; *count as above, out in UTF-16
// units. Answers null for text holding a value above 10FFFFh.
const uint16_t* utf16_from_string(cell* string, int32_t* count, bool crlf = false);

// Encodes at most `max_units` units of the text (-1: all) into `room` bytes at dst, never
// ending inside a sequence, then a NUL when `nul` and room is left. Answers the bytes written
// (without the NUL).
size_t utf8_encode_bounded(const cell* string, uint8_t* dst, size_t room, int32_t max_units,
                           bool nul);

}  // namespace kaz::unicode

// Storage of the string family (string!, file!, url!, tag!, email!, ref!): text held in one unit
// width per buffer (1, 2 or 4 bytes), widened in place when a wider code point arrives. binary!
// and vector! share the unit-level routines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "memory/series.h"
#include "memory/unicode_units.h"
#include "runtime/cell.h"

namespace kaz::string {

/*
 * String-family cells: data1 the head index in units, data2 the buffer's node, data3 0 or the
 * node of the value's conversion scratch buffer. Indexes (head and absolute) count units from
 * the start of the buffer's used part; text buffers keep it at the start of their data area
 * (offset 0: none is made with head room), so they count from the data start as well. Every
 * character of a buffer has the
 * buffer's unit: 1 (Latin-1), 2 (up to FFFFh) or 4. A buffer only ever widens; `reset` is the
 * one way back to unit 1. A head past the tail reads as length 0.
 *
 * Routines that write take the buffer's node: the buffer behind it may move or widen, so
 * callers re-read it afterwards, never keeping a pointer across a write.
 */
inline node_t node_of(const cell* v) { return v->data2; }
inline series_buffer* buffer_of(const cell* v) { return memory::buffer_of(v->data2); }

using unicode::get_char;
using unicode::put_char;

// Any unit width other than 1, 2 and 4 is an impossible case: runtime error 101.
uint32_t checked_unit(const series_buffer* s);

// The unit an appended code point needs (appending keeps 1-byte text ASCII-only).
inline uint32_t append_unit_for(uint32_t c) { return c < 0x80 ? 1 : c <= 0xFFFF ? 2 : 4; }
// The unit a written or inserted code point needs.
inline uint32_t write_unit_for(uint32_t c) { return unicode::unit_for(c); }

// Upper-case folding of case-insensitive comparison, search and sorting (every unit width);
// ASCII inline, the rest through the case tables.
uint32_t fold_beyond_ascii(uint32_t c);
inline uint32_t fold(uint32_t c) {
  if (c < 0x80) return c - 'a' < 26u ? c - 32 : c;
  return fold_beyond_ascii(c);
}

// ---------------------------------------------------------------------------------------------
// Reading.

// A run of units: where it starts, its width and how many units it has.
struct text {
  const uint8_t* p;
  uint32_t unit;
  uint32_t length;
  uint32_t at(uint32_t i) const { return get_char(p + size_t(i) * unit, unit); }
};

// The text of a value from its head (a symbol! cell, data2 its name string's node, is read
// from index 0). Valid until the next allocation.
text text_of(const cell* v);

uint8_t* rs_head(cell* v);  // head address; a head past the tail is first moved to the tail
uint8_t* tail_pointer(const cell* v);
bool at_tail_q(const cell* v);
uint32_t length_from_head(const cell* v);  // 0 when the head lies past the tail
uint32_t absolute_length(const cell* v);   // units from the buffer start to the tail
uint32_t char_at_absolute(const cell* v, uint32_t index);
// Index from the head of the first exact occurrence of c, or -1.
int32_t index_of_char(const cell* v, uint32_t c);
// True when c is the first unit of a record (records `step` units apart from the head); both
// sides folded unless case_sensitive.
bool contains_char_skip_q(const cell* v, uint32_t c, uint32_t step, bool case_sensitive);
// True when the value's units from the head begin with the bytes of s.
bool starts_with_c_string_q(const cell* v, std::string_view s);

// ---------------------------------------------------------------------------------------------
// Making values.

// Makes the cell an empty value of the type at head 0 over a new buffer of unit 1 with room for
// at least `capacity` bytes.
void make_at(cell* c, uint32_t capacity, uint32_t type_id = type::string);
inline void rs_make_at(cell* c, uint32_t capacity) { make_at(c, capacity); }
// Makes the cell an empty value over a new buffer with room for `count` units of `unit` bytes.
void init_cell_with_unit(cell* c, uint32_t count, uint32_t unit, uint32_t type_id = type::string);
// Pushes a copy of the value on the evaluation stack (without its scratch buffer).
cell* push(const cell* v);
// Empties the buffer, sets its unit back to 1 and the head to 0.
void reset(cell* v);

// ---------------------------------------------------------------------------------------------
// Writing. Sizes beyond the largest series raise internal no-memory before anything changes.

// Widens the buffer to `to_unit` in place (the whole used area), growing it when needed; a
// width other than 1, 2 and 4 is runtime error 100.
void widen(node_t node, uint32_t to_unit);
inline void widen_to_unit(node_t node, uint32_t to_unit) { widen(node, to_unit); }
// Makes room for `bytes` more bytes after the tail (the tail stays); answers the buffer.
series_buffer* ensure_room(node_t node, uint64_t bytes);

void append_code_point(node_t node, uint32_t c);
// Replaces the character at an absolute index; at or past the tail the tail moves after it (a
// gap left before it holds NUL characters).
void overwrite_char(node_t node, uint32_t index, uint32_t c);
// Opens one unit at an absolute index (clamped to the tail) and writes c there.
void insert_code_point(node_t node, uint32_t index, uint32_t c);
inline void insert_char(node_t node, uint32_t index, uint32_t c) { insert_code_point(node, index, c); }
// Stores c at an absolute index inside the used part.
void write_code_point(node_t node, uint32_t index, uint32_t c);
// Removes n units at an absolute index (nothing at or past the tail).
void remove_part(node_t node, uint32_t index, uint32_t n);
inline void remove_part_at(node_t node, uint32_t index, uint32_t n) { remove_part(node, index, n); }
inline void remove_char_at(node_t node, uint32_t index) { remove_part(node, index, 1); }
// Moves the tail back to n units when that shortens the text; never extends it.
void truncate_buffer(node_t node, uint32_t n);

// Copies n characters between unit widths (the target wide enough for every one of them).
void copy_units(const uint8_t* from, uint32_t from_unit, uint8_t* to, uint32_t to_unit, size_t n);
/*
 * Copies the source buffer's characters from index `from` up to `end` (the tail when end < 0)
 * into the target buffer at index `at`, converting them to the target's unit (`target_unit`,
 * which must be as wide as the source's). With target 0 the source itself is rebuilt: its node
 * gets a new buffer of `size` bytes in the target unit, holding the characters before `at` and
 * the copied ones. Unless keep_tail, the target's tail moves after the last character written.
 * Answers the target's node.
 */
node_t copy_units_widening(node_t source, node_t target, uint32_t size, uint32_t target_unit,
                           uint32_t from, uint32_t at, int32_t end, bool keep_tail);
// Swaps two adjacent ranges of `a` and `b` bytes starting at p, so that the second comes first.
void exchange_parts(uint8_t* p, uint32_t a, uint32_t b);
// Moves `count` characters from the source's head to the target's head (inserted there, in
// order) and removes them from the source. The two values have different buffers.
void move_part(cell* source, cell* target, uint32_t count);

void append_ascii(node_t node, std::string_view text);  // each byte as a code point
void append_latin1(node_t node, const uint8_t* bytes, uint32_t n);
inline void append_c_string(node_t node, std::string_view s) { append_ascii(node, s); }
inline void append_c_string_part(node_t node, const uint8_t* bytes, uint32_t n) {
  append_latin1(node, bytes, n);
}
// Decodes UTF-8 onto the tail; answers the bytes consumed (less than the size at a malformed or
// incomplete sequence, where decoding stops).
uint32_t append_utf8(node_t node, std::string_view text);
// Appends the text of another string-family value (or symbol! cell) from its head, at most
// `part` units when part >= 0.
void append_string(node_t node, const cell* source, int32_t part = -1);

/*
 * Copies the source's text from its head (at most `part` units when part >= 0) into the target:
 * mode 0 appends at the tail, 1 inserts at `position` units after the target's head, 2
 * overwrites from there (extending the tail when the text goes past it). The target widens to
 * the source's unit; a narrower source is converted while copying with `convert`, else its
 * buffer is widened first. A source in the target's buffer is read before it moves.
 */
namespace concat_mode {
constexpr int append = 0;
constexpr int insert = 1;
constexpr int overwrite = 2;
}  // namespace concat_mode
void concatenate(cell* target, const cell* source, int32_t part, uint32_t position, bool convert,
                 int mode);

// ---------------------------------------------------------------------------------------------
// Loading encoded text.

namespace encoding {
constexpr int32_t utf8 = 0;
constexpr int32_t utf16le = -1;
}  // namespace encoding

// Fills `out` (or a new stack cell when null) with a string! of the decoded bytes and answers
// it. UTF-8 input is loaded whole (malformed bytes raise access invalid-utf8); UTF-16LE pairs
// surrogates. Any other encoding prints the loading error and ends the process with code 0.
cell* decode_input(const uint8_t* src, uint32_t length, cell* out, int32_t enc);
cell* decode_input_append(const uint8_t* src, uint32_t length, cell* block, int32_t enc);
cell* decode_input_push(const uint8_t* src, uint32_t length, int32_t enc);
// Pushes a string! decoded from UTF-8 (a byte-order mark at the start skipped); at a malformed
// or incomplete sequence raises access invalid-utf8 with a binary! of the bytes from there to
// the end.
cell* load_utf8_binary(const uint8_t* src, uint32_t length);

// The value's text from its head as UTF-8 (C++ side: output, file names, tests).
std::string to_utf8(const cell* v, int32_t part = -1);

// Reads decimal text as a double (the float reader); NaN when the text is not a number.
double scan_float(const uint8_t* start, uint32_t length);

// ---------------------------------------------------------------------------------------------
// Comparing and matching.

/*
 * Compares two string-family values (or symbols) under a comparison operation: 0 equal,
 * negative or positive order. Folds case except for strict-equal? (2) and case-sensitive
 * ordering (8). With `prefix`, only b's length is compared (b must not be longer than a).
 */
int32_t compare_strings(const cell* a, const cell* b, int32_t op, bool prefix);
// The matchers of parse: a string-family pattern (tag!: with its brackets) or a char! at the
// string's head.
bool match_at_head_q(const cell* s, const cell* pattern, int32_t op);
bool tag_brackets_at_q(const cell* s, const cell* tag);
bool head_char_in_bitset_q(const cell* s, const cell* bitset);
// Membership of a code point in a bitset! (beyond its bits: its complement flag).
bool bitset_has(const cell* bitset, uint32_t c);

// ---------------------------------------------------------------------------------------------
// Molding.

// The code points the UTF-8 decoder refuses (unicode_utf8.h): written as themselves they
// would not load back, so molds escape them.
inline bool refused_by_loader(uint32_t c) { return c == 0xFFFE || (c >= 0xDC00 && c <= 0xDCFF); }

namespace escape {
constexpr int plain = 0;   // vectors: only the ^(hex) escapes
constexpr int text = 253;  // strings: the caret table too
}  // namespace escape

// One code point as molded text: ^(hex) for 1Eh, 80h-9Fh and, with all, above 7Fh; with the
// text mode the caret escapes (^/ ^- ^" ^^ ^~ ...).
void append_escaped_char(node_t out, uint32_t c, int mode, bool all);
// Double quotes and line feeds among n units.
void count_quotes_and_lines(const uint8_t* p, uint32_t n, uint32_t unit, uint32_t& quotes,
                            uint32_t& lines);
// True when the "{" at `from` is closed before `end` (units of p).
bool brace_closes_q(const uint8_t* p, uint32_t unit, uint32_t from, uint32_t end);
// A whole string in quotes or braces with its escapes (the first `limit` units with part);
// answers the budget left.
int32_t mold_text(const cell* v, node_t out, bool all, cell* part, int32_t limit);

// Hexadecimal digits, upper case.
struct hex_digits {
  char text[9];
  uint32_t length;
  std::string_view view() const { return {text, length}; }
  operator std::string() const { return std::string(text, length); }
};
hex_digits hex_byte(uint8_t b);
// Eight digits ("F" padded for negatives), or trimmed: without leading zeros, "00" for 0.
hex_digits hex_int32(int32_t value, bool trim);

}  // namespace kaz::string

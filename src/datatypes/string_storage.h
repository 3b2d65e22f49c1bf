// Storage of the string family: text held in one unit width per buffer (1, 2 or 4 bytes),
// widened in place when a wider code point arrives.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "datatypes/cell.h"
#include "memory/series.h"

namespace kaz::string {

// String-family cells: data1 the head index in units, data2 the buffer's node, data3 0.
inline node_t node_of(const cell* v) { return v->data2; }
inline series_buffer* buffer_of(const cell* v) { return memory::buffer_of(v->data2); }

inline uint32_t get_char(const uint8_t* p, uint32_t unit) {
  switch (unit) {
    case 1:
      return *p;
    case 2:
      return uint32_t(p[0]) | uint32_t(p[1]) << 8;
    default:
      return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  }
}
inline void put_char(uint8_t* p, uint32_t unit, uint32_t c) {
  p[0] = uint8_t(c);
  if (unit >= 2) p[1] = uint8_t(c >> 8);
  if (unit == 4) {
    p[2] = uint8_t(c >> 16);
    p[3] = uint8_t(c >> 24);
  }
}

// The unit an appended code point needs (appending keeps 1-byte text ASCII-only).
inline uint32_t append_unit_for(uint32_t c) { return c < 0x80 ? 1 : c <= 0xFFFF ? 2 : 4; }
// The unit a written or inserted code point needs.
inline uint32_t write_unit_for(uint32_t c) { return c <= 0xFF ? 1 : c <= 0xFFFF ? 2 : 4; }

// Units from the head to the tail (0 when the head lies past the tail).
uint32_t length_from_head(const cell* v);
// Address of the head unit; a head past the tail is moved back to the tail first.
uint8_t* rs_head(cell* v);
// The code point at an absolute index of the value's buffer.
uint32_t char_at_absolute(const cell* v, uint32_t index);

// Makes the cell an empty value of the type over a new buffer of unit 1 (at least 1 byte).
void make_at(cell* c, uint32_t capacity, uint32_t type_id = type::string);
// Makes the cell a value over a new buffer of `count` units of the given width.
void init_cell_with_unit(cell* c, uint32_t count, uint32_t unit, uint32_t type_id = type::string);

// Widens the buffer behind the node to `to_unit`, keeping every character.
void widen(node_t node, uint32_t to_unit);

// Appending at the tail (the node keeps naming the buffer, which may have moved or widened).
void append_code_point(node_t node, uint32_t c);
void append_ascii(node_t node, std::string_view text);  // each byte as a code point
void append_latin1(node_t node, const uint8_t* bytes, uint32_t n);
// Decodes UTF-8; answers the number of bytes consumed (less than n at a malformed sequence).
uint32_t append_utf8(node_t node, std::string_view text);
// Appends the text of another string-family value (from its head, at most `part` units when
// part >= 0).
void append_string(node_t node, const cell* source, int32_t part = -1);

// Overwrite, insert and remove at absolute unit indexes.
void overwrite_char(node_t node, uint32_t index, uint32_t c);
void insert_char(node_t node, uint32_t index, uint32_t c);
void remove_part(node_t node, uint32_t index, uint32_t n);

// The value's text from its head as UTF-8 (C++ side: output, file names, tests).
std::string to_utf8(const cell* v, int32_t part = -1);

// Compares two string-family values (or symbols) under a comparison operation: 0 equal,
// negative or positive order.
int32_t compare_strings(const cell* a, const cell* b, int32_t op, bool prefix);

// Mold: one code point escaped (mode 253 for text, 0 for vectors), and a whole string with its
// delimiters. Answers the budget left.
void append_escaped_char(node_t out, uint32_t c, int mode, bool all);
int32_t mold_text(const cell* v, node_t out, bool all, cell* part, int32_t limit);

// Hexadecimal digits of an integer (upper case); trimmed: without leading zeros, "00" for 0.
std::string hex_int32(int32_t value, bool trim);

}  // namespace kaz::string

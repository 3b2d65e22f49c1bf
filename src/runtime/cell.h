// The value cell: every Kaz value is one 16-byte cell, a header word and three payload words.
#pragma once

#include <cstdint>
#include <cstring>

namespace kaz {

/*
 * Header bits 0-7 hold the datatype id, bit 30 the new-line marker (a line break precedes the
 * value in its block); the other bits belong to the datatype. A cell never holds a raw
 * pointer: series, contexts and tables are reached through 32-bit handles (node ids, symbol
 * ids, table indexes), so cells can be copied, stored and moved by the collector freely.
 */
struct cell {
  uint32_t header;
  uint32_t data1;
  uint32_t data2;
  uint32_t data3;
};
static_assert(sizeof(cell) == 16, "a cell is four 32-bit words");

// Datatype ids, fixed for all time (typesets and KAZBIN store them).
namespace type {
enum id : uint32_t {
#define DATATYPE(n, cname, name, parent) cname = n,
#include "runtime/types.def"
#undef DATATYPE
  no_parent = 0,
};
constexpr uint32_t max_id = 56;  // rows of the registry tables (ids 0-56)
}  // namespace type

constexpr uint32_t new_line_flag = 0x40000000;
constexpr uint32_t type_mask = 0xFF;

inline uint32_t type_of(const cell* c) { return c->header & type_mask; }

inline void clear_new_line(cell* c) { c->header &= ~new_line_flag; }

// Rewrites the datatype id only; the flag bits stay.
inline void set_type(cell* c, uint32_t t) { c->header = (c->header & ~type_mask) | t; }

inline void copy_cell(const cell* from, cell* to) {
  if (from != to) *to = *from;
}

// Doubles live in data2 (low half) and data3 (high half).
inline double get_double(const cell* c) {
  uint32_t w[2] = {c->data2, c->data3};
  double d;
  std::memcpy(&d, w, sizeof d);
  return d;
}

inline void put_double(cell* c, double d) {
  uint32_t w[2];
  std::memcpy(w, &d, sizeof d);
  c->data2 = w[0];
  c->data3 = w[1];
}

// The families that code tests by id.
inline bool is_any_block(uint32_t t) {
  return t == type::block || t == type::paren || (t >= type::path && t <= type::get_path) ||
         t == type::hash;
}
inline bool is_any_path(uint32_t t) { return t >= type::path && t <= type::get_path; }
inline bool is_any_string(uint32_t t) {
  return (t >= type::string && t <= type::url) || t == type::tag || t == type::email ||
         t == type::ref;
}
inline bool is_any_word(uint32_t t) { return t >= type::word && t <= type::issue; }
inline bool is_buffer_type(uint32_t t) {
  return t == type::vector || t == type::binary || t == type::image;
}

}  // namespace kaz

// The state of one KAZBIN encode: the symbols met, the references recorded, the output.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/context.h"
#include "core/object.h"
#include "datatypes/map.h"
#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::kazbin {

/*
 * Symbols are numbered in the order they are first met; the string area holds their names,
 * each with a zero byte (and, in the plain layout, zero bytes up to a multiple of 8).
 *
 * References: `positions` and `counter` give the path (indexes from the root) of the value
 * being written. A series or context met for the first time is recorded with its path; met
 * again, it is written as that path. Words, objects and functions of the global context are
 * never recorded. Nothing here allocates collector memory: the node ids stay those of the
 * value being encoded, which its caller keeps alive.
 */
struct encoder {
  explicit encoder(bool plain) : plain(plain) {}

  bool plain;
  bool table_apart = false;  // the header leaves the symbol table out (boot images)
  std::vector<uint8_t> out;

  std::unordered_map<uint32_t, uint32_t> symbol_index;
  std::vector<uint32_t> offsets;
  std::string area;

  std::unordered_map<node_t, uint32_t> known;  // node -> start of its path in `paths`
  std::vector<uint32_t> paths;                 // count, then the indexes, per recorded node
  std::vector<uint32_t> positions;
  uint32_t counter = 0;
  uint32_t depth = 0;

  // The table index of a symbol, added on first use.
  uint32_t symbol(uint32_t id);
  // The recorded path of a node (count first), or null.
  const uint32_t* find(node_t node) const;
  // Opens the level of a value written in full, recording the node (when not 0 and not yet
  // recorded) with the value's path; `leave` closes it.
  void enter(node_t node);
  void leave();
  // Past the value written: the next one of the level.
  void next() { ++counter; }

  void emit_byte(uint8_t b) { out.push_back(b); }
  void emit_int32(uint32_t v);
  void emit_varint(uint32_t v);
  void emit_bytes(const uint8_t* p, size_t n) { out.insert(out.end(), p, p + n); }

  // The whole container: header, symbol table and the payload written so far.
  std::vector<uint8_t> container() const;
  // The symbol table alone: varint count and size, int32 offsets, the names.
  std::vector<uint8_t> table() const;
};

// The writers: one value (with its nested values) into the encoder's payload.
void write_compact_value(encoder& e, const cell* value);
void write_plain_value(encoder& e, const cell* value);

// What both writers take from the values they write.
[[noreturn]] void no_codec(uint32_t type_id);
// Whether a context's values are written: they live in it and one is not unset!.
bool values_follow(node_t ctx);
// A function's spec and body as block! values (no codec for one without a body block).
void function_blocks(const cell* f, cell* spec, cell* body);
// An error's six written fields (arg1, arg2, arg3, near, where, stack), one level below it:
// its context is recorded for the values they hold.
template <class Write>
void write_error_fields(encoder& e, const cell* error, Write write);
// A map's live pairs (removed pairs keep a value cell of header 0), key then value.
template <class Write>
void write_map_pairs(const cell* map, Write write) {
  uint32_t n = memory::buffer_of(map::entries_of(map))->length();
  for (uint32_t k = 0; k + 1 < n; k += 2) {
    cell key = memory::buffer_of(map::entries_of(map))->cells()[k];
    cell value = memory::buffer_of(map::entries_of(map))->cells()[k + 1];
    if (value.header == 0) continue;
    write(&key);
    write(&value);
  }
}
// The context a word is written against: 0 for the global context and for contexts whose
// owner cannot be written (none!, unset!, block!, anything but an object or a function).
node_t word_context(const cell* word);

template <class Write>
void write_error_fields(encoder& e, const cell* error, Write write) {
  e.enter(object::context_of(error));
  for (uint32_t k = 0; k < 6; ++k) {
    cell item = context::values(object::context_of(error))[3 + k];
    write(&item);
  }
  e.leave();
}

}  // namespace kaz::kazbin

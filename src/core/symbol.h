// The symbol table: every spelling of a word, interned once and known by a 1-based id.
#pragma once

#include <cstdint>
#include <string_view>

#include "memory/hashtable.h"
#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::symbol {

/*
 * The table is a block of symbol! cells indexed by a hashtable of the symbols kind; symbol id n
 * is the cell at position n - 1. A cell holds: data1 the alias (-1 for a canonical spelling,
 * else the id of the canonical spelling it equals without regard to ASCII case), data2 the node
 * of the cached name string (0 until asked for), data3 the node of the UTF-8 spelling (a byte
 * series ending in NUL, its tail before the NUL).
 *
 * A spelling is interned exactly (case-sensitive). Spellings equal without regard to ASCII case
 * share one canonical symbol: a new spelling's alias is the canonical id of the variant found,
 * so case-insensitive equality is an integer comparison of canonical ids whatever order the
 * variants were met in. Only A-Z fold: other letters are never case variants. A canonical
 * spelling that has variants carries the `variants` header bit, so lookups of names without
 * variants (nearly all) can compare symbol ids alone.
 */
uint32_t make(std::string_view utf8);              // find or add, case-sensitive
uint32_t make_ignore_case(std::string_view utf8);  // answers any existing case variant
// The text of a string-family value from its head, as UTF-8, interned as make does.
uint32_t make_from_string(const cell* string);

namespace detail {
extern node_t index_node;  // the hashtable over the symbol block
constexpr uint32_t variants_flag = 0x100;  // header bit of a canonical entry with aliases
// The symbol! cell of an id. Inline: every case-insensitive look-up of a word reads it.
inline const cell* entry(uint32_t id) {
  return memory::buffer_of(hashtable::data_block(index_node))->cells() + (id - 1);
}
}  // namespace detail

// Whether other spellings of the symbol's name, equal without regard to case, were interned.
inline bool has_variants(uint32_t id) {
  const cell* e = detail::entry(id);
  return static_cast<int32_t>(e->data1) > 0 || (e->header & detail::variants_flag);
}

// Canonical id (the alias when there is one, else the id itself).
inline uint32_t resolve(uint32_t id) {
  auto a = static_cast<int32_t>(detail::entry(id)->data1);
  return a > 0 ? static_cast<uint32_t>(a) : id;
}
inline int32_t alias(uint32_t id) {  // -1 for a canonical spelling
  return static_cast<int32_t>(detail::entry(id)->data1);
}

// The symbol block read directly, for walks that resolve many ids: valid until the next
// allocation (the block may move or grow).
class resolver {
 public:
  resolver();
  uint32_t resolve(uint32_t id) const {
    auto a = static_cast<int32_t>(entries_[id - 1].data1);
    return a > 0 ? static_cast<uint32_t>(a) : id;
  }

 private:
  const cell* entries_;
};

// The UTF-8 spelling. It points into collector memory: valid until the next allocation.
std::string_view spelling(uint32_t id);
uint32_t count();

// The symbol's name as a string! buffer, made on first request and kept for the run.
node_t name_string(uint32_t id);

// The hashtable node (kind 2) over the symbol block.
node_t table();

void init();

}  // namespace kaz::symbol

#include "core/symbol.h"

#include <string>

#include "core/string_storage.h"
#include "memory/collector.h"
#include "memory/hashtable.h"

namespace kaz::symbol {

node_t detail::index_node = 0;  // a root

namespace {

using detail::index_node;
using detail::variants_flag;

constexpr uint32_t initial_capacity = 4000;

inline cell* entry(uint32_t id) { return const_cast<cell*>(detail::entry(id)); }

uint32_t intern(std::string_view s, bool any_case) {
  // The bytes are copied into the new spelling's buffer after an allocation: keep them where
  // the collector cannot move them, in a scratch buffer that keeps its room between calls (the
  // lexer interns every word it reads).
  if (!index_node) init();  // code that runs before start-up (unit tests) interns too
  static std::string scratch;
  scratch.assign(s.data(), s.size());
  uint32_t id = hashtable::find_symbol(index_node, reinterpret_cast<const uint8_t*>(scratch.data()),
                                       static_cast<uint32_t>(scratch.size()), any_case);
  auto a = static_cast<int32_t>(entry(id)->data1);
  if (a > 0) entry(static_cast<uint32_t>(a))->header |= variants_flag;
  return id;
}

}  // namespace

uint32_t make(std::string_view s) { return intern(s, false); }
uint32_t make_ignore_case(std::string_view s) { return intern(s, true); }
uint32_t make_from_string(const cell* str) { return intern(string::to_utf8(str), false); }

resolver::resolver() : entries_(entry(1)) {}


std::string_view spelling(uint32_t id) {
  series_buffer* s = memory::buffer_of(entry(id)->data3);
  return {reinterpret_cast<const char*>(s->head()), s->used_bytes()};
}

uint32_t count() { return memory::buffer_of(hashtable::data_block(index_node))->length(); }

node_t name_string(uint32_t id) {
  if (node_t cached = entry(id)->data2) return cached;
  std::string text(spelling(id));  // making the string may move the spelling
  cell c;
  string::make_at(&c, static_cast<uint32_t>(text.size()));
  string::append_utf8(c.data2, text);
  entry(id)->data2 = c.data2;  // the symbol block now keeps it
  return c.data2;
}

node_t table() { return index_node; }

void init() {
  if (index_node) return;
  hashtable::set_symbol_resolver(resolve);
  index_node = hashtable::create(initial_capacity, 0, hashtable::symbols);
  collector::add_root_node(&index_node);
}

}  // namespace kaz::symbol

#include "core/symbol.h"

#include <string>
#include <unordered_map>
#include <vector>

#include "datatypes/string_storage.h"
#include "memory/collector.h"

namespace kaz::symbol {

namespace {

struct entry {
  int32_t alias;
  node_t name;  // cached string! buffer, 0 until asked for
  std::string spelling;
};

std::vector<entry> entries;                             // id n is entries[n - 1]
std::unordered_map<std::string, uint32_t> by_spelling;  // exact spelling -> id
std::unordered_map<std::string, uint32_t> by_folding;   // ASCII-folded spelling -> canonical id

std::string fold(std::string_view s) {
  std::string f(s);
  for (char& c : f)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return f;
}

uint32_t add(std::string_view s, int32_t alias_id) {
  entries.push_back({alias_id, 0, std::string(s)});
  auto id = static_cast<uint32_t>(entries.size());
  by_spelling.emplace(std::string(s), id);
  return id;
}

}  // namespace

uint32_t make(std::string_view s) {
  auto hit = by_spelling.find(std::string(s));
  if (hit != by_spelling.end()) return hit->second;
  std::string f = fold(s);
  auto variant = by_folding.find(f);
  if (variant != by_folding.end()) return add(s, static_cast<int32_t>(variant->second));
  uint32_t id = add(s, -1);
  by_folding.emplace(std::move(f), id);
  return id;
}

uint32_t make_ignore_case(std::string_view s) {
  auto variant = by_folding.find(fold(s));
  if (variant != by_folding.end()) return variant->second;
  return make(s);
}

uint32_t resolve(uint32_t id) {
  int32_t a = entries[id - 1].alias;
  return a > 0 ? static_cast<uint32_t>(a) : id;
}

int32_t alias(uint32_t id) { return entries[id - 1].alias; }
std::string_view spelling(uint32_t id) { return entries[id - 1].spelling; }
uint32_t count() { return static_cast<uint32_t>(entries.size()); }

node_t name_string(uint32_t id) {
  entry& e = entries[id - 1];
  if (e.name == 0) {
    std::string text = e.spelling;  // entries may grow while the buffer is made
    cell c;
    string::make_at(&c, static_cast<uint32_t>(text.size()));
    string::append_utf8(c.data2, text);
    entries[id - 1].name = c.data2;
  }
  return entries[id - 1].name;
}

void init() {
  entries.reserve(4000);
  collector::add_mark_callback(mark_roots);
}

void mark_roots() {
  for (entry& e : entries)
    if (e.name) collector::mark_node(&e.name);
}

}  // namespace kaz::symbol

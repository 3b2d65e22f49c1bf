// The keywords of the parse dialect, recognised by symbol whatever the spelling's case.
#include <vector>

#include "core/symbol.h"
#include "core/word.h"
#include "eval/parse_internal.h"

namespace kaz::parse {

namespace {

// In the order of kw, from bar on.
const char* const names[] = {"|",      "skip",  "any",   "some",    "opt",    "while",
                             "to",     "thru",  "end",   "none",    "fail",   "break",
                             "reject", "not",   "ahead", "quote",   "if",     "case",
                             "copy",   "set",   "into",  "remove",  "insert", "change",
                             "collect", "keep", "only",  "pick",    "after"};
static_assert(sizeof(names) / sizeof(names[0]) == uint32_t(kw::count_) - 1);

// Keyword by symbol id, filled as spellings are met: every case variant of a keyword is one.
constexpr uint8_t unknown = 0xFF;
std::vector<uint8_t> by_symbol;

}  // namespace

void init_keywords() {
  for (uint32_t k = 1; k < uint32_t(kw::count_); ++k) {
    uint32_t id = symbol::resolve(symbol::make(names[k - 1]));
    if (id >= by_symbol.size()) by_symbol.resize(id + 1, unknown);
    by_symbol[id] = uint8_t(k);
  }
}

namespace {

// A spelling met for the first time is looked up by its canonical symbol, then remembered.
kw learn(uint32_t id) {
  uint32_t canonical = symbol::resolve(id);
  uint8_t k = canonical < by_symbol.size() && by_symbol[canonical] != unknown
                  ? by_symbol[canonical]
                  : 0;
  if (id >= by_symbol.size()) by_symbol.resize(id + 1, unknown);
  by_symbol[id] = k;
  return kw(k);
}

inline kw lookup(const cell* word) {
  uint32_t id = word::symbol_of(word);
  if (id < by_symbol.size() && by_symbol[id] != unknown) [[likely]] return kw(by_symbol[id]);
  return learn(id);
}

}  // namespace

kw keyword_of(const cell* word) {
  kw k = lookup(word);
  return k >= first_modifier ? kw::not_keyword : k;
}

bool is_word(const cell* v, kw k) { return type_of(v) == type::word && lookup(v) == k; }

}  // namespace kaz::parse

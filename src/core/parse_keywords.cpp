// The keywords of the parse dialect, recognised by symbol whatever the spelling's case.
#include <vector>

#include "core/parse_internal.h"
#include "core/symbol.h"

namespace kaz::parse {

namespace {

// In the order of kw, from bar on.
const char* const names[] = {"|",      "skip",  "any",   "some",    "opt",    "while",
                             "to",     "thru",  "end",   "none",    "fail",   "break",
                             "reject", "not",   "ahead", "quote",   "if",     "case",
                             "copy",   "set",   "into",  "remove",  "insert", "change",
                             "collect", "keep", "only",  "pick",    "after"};
static_assert(sizeof(names) / sizeof(names[0]) == uint32_t(kw::count_) - 1);

// Keyword by canonical symbol id; ids past the end are no keywords.
std::vector<uint8_t> by_symbol;

}  // namespace

void init_keywords() {
  for (uint32_t k = 1; k < uint32_t(kw::count_); ++k) {
    uint32_t id = symbol::resolve(symbol::make(names[k - 1]));
    if (id >= by_symbol.size()) by_symbol.resize(id + 1, 0);
    by_symbol[id] = uint8_t(k);
  }
}

namespace {

inline kw lookup(const cell* word) {
  uint32_t id = symbol::resolve(word->data2);
  return id < by_symbol.size() ? kw(by_symbol[id]) : kw::none_word;
}

}  // namespace

kw keyword_of(const cell* word) {
  kw k = lookup(word);
  return k >= first_modifier ? kw::none_word : k;
}

bool is_word(const cell* v, kw k) { return type_of(v) == type::word && lookup(v) == k; }

}  // namespace kaz::parse

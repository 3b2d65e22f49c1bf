// Binding a block's words to a context, deeply.
#include <vector>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/series_cell.h"
#include "core/symbol.h"
#include "core/word.h"
#include "core/words.h"
#include "memory/cycle_guard.h"

namespace kaz::context {

namespace {

/*
 * A walk looks each word up in a table of the context's slots by canonical symbol id instead
 * of probing the context's hashtable: an array read per word. The table is filled from the
 * context's words before the walk and emptied after it; binding allocates nothing, so the ids
 * and the symbol block stay put meanwhile. A context that holds two spellings of one name
 * (the global context) or many words for a small block is bound through its hashtable.
 */
std::vector<uint32_t> slot_by_symbol;  // slot + 1 by canonical id, 0: not in the context
std::vector<uint32_t> filled;          // the ids set for the current walk

// Empties the entries of a walk however it ends (a walk too deep raises an error).
struct table_user {
  ~table_user() {
    for (uint32_t id : filled) slot_by_symbol[id] = 0;
    filled.clear();
  }
};

// Fills the table with the context's slots; false (nothing filled) when two words of the
// context share a canonical id.
bool fill_table(node_t ctx, const symbol::resolver& names) {
  uint32_t count = symbol::count();
  if (slot_by_symbol.size() <= count) slot_by_symbol.resize(count + 1, 0);
  const cell* w = words(ctx);
  for (uint32_t p = 0, n = size(ctx); p < n; ++p) {
    uint32_t sym = word::symbol_of(&w[p]);
    uint32_t id = sym == 0 || sym > count ? 0 : names.resolve(sym);
    if (id == 0 || slot_by_symbol[id]) {
      for (uint32_t f : filled) slot_by_symbol[f] = 0;
      filled.clear();
      return false;
    }
    slot_by_symbol[id] = word::index_of(&w[p]) + 1;
    filled.push_back(id);
  }
  return true;
}

struct walk {
  node_t ctx;
  bool self_bind;
  uint32_t self_id;
  symbol::resolver names;

  void run(const cell* block_in) const {
    cell b = *block_in;
    cycle_guard guard(series::node_of(&b));
    if (!guard.entered()) return;
    cell* head = block::rs_head_rw(&b);
    for (int32_t i = 0, n = block::rs_length(&b); i < n; ++i) {
      cell* v = head + i;
      uint32_t t = type_of(v);
      if (is_any_block(t)) {
        cell nested = *v;
        run(&nested);
      } else if (t >= type::word && t <= type::refinement) {
        uint32_t id = names.resolve(word::symbol_of(v));
        if (self_bind && t == type::word && id == self_id) {
          v->data1 = ctx;
          v->data3 = unresolved;
        } else if (uint32_t slot = slot_by_symbol[id]) {
          v->data1 = ctx;
          v->data3 = slot - 1;
        }
      }
    }
  }
};

// The walk through the context's hashtable.
void bind_by_lookup(node_t ctx, const cell* block_in, bool self_bind, uint32_t self_id) {
  cell b = *block_in;
  cycle_guard guard(series::node_of(&b));
  if (!guard.entered()) return;
  for (int32_t i = 0; i < block::rs_length(&b); ++i) {
    cell* v = block::rs_head_rw(&b) + i;
    uint32_t t = type_of(v);
    if (is_any_block(t)) {
      cell nested = *v;
      bind_by_lookup(ctx, &nested, self_bind, self_id);
    } else if (t >= type::word && t <= type::refinement) {
      if (self_bind && t == type::word && symbol::resolve(word::symbol_of(v)) == self_id) {
        v->data1 = ctx;
        v->data3 = unresolved;
      } else {
        bind_word(ctx, v);
      }
    }
  }
}

}  // namespace

void bind_block(node_t ctx, const cell* block_in, bool self_bind) {
  uint32_t self_id = symbol::resolve(words::sym.self);
  // The table pays once the block is not much smaller than the context.
  uint32_t words_in = size(ctx);
  int32_t length = block::rs_length(block_in);
  bool small = words_in <= 64 || static_cast<int64_t>(words_in) <= 8 * static_cast<int64_t>(length);
  if (ctx != global && filled.empty() && small) {
    table_user user;
    symbol::resolver names;
    if (fill_table(ctx, names)) {
      walk{ctx, self_bind, self_id, names}.run(block_in);
      return;
    }
  }
  bind_by_lookup(ctx, block_in, self_bind, self_id);
}

}  // namespace kaz::context

// Contexts: symbols mapped to value slots. The global context, every object and every function
// has one; a bound word carries its context and slot index, so reading it needs no lookup.
#pragma once

#include <cstdint>

#include "core/stack.h"
#include "core/word.h"
#include "memory/hashtable.h"
#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz {

/*
 * A context node's buffer holds two cells. Cell 0 (context!): bits 11-12 of the header the kind
 * (2 for objects: it also switches the word-set marks on), bit 22 values on the evaluation
 * stack, bit 24 a creator flag (copied by clones); data1 the node of its symbols, a hashtable
 * (symbols kind) over the word block, one word! per slot bound to the context itself, in order
 * of addition; data2 the node of the values block, or for a stack context the value-stack index
 * of the running call's first argument (no_values when no call runs). Cell 1: the owner value
 * (unset! at first).
 *
 * Word indexes never change once given, so bound words stay valid as a context grows. A word's
 * index is its position in the word block, except in the global context where a later case
 * variant of a name shares the first spelling's slot.
 */
namespace context_flag {
constexpr uint32_t kind_shift = 11;
constexpr uint32_t kind_mask = 0x1800;
constexpr uint32_t on_stack = 0x400000;
constexpr uint32_t creator = 0x1000000;
constexpr uint32_t owned = 0x10000;       // an object that owns series (reactivity)
constexpr uint32_t word_set = 0x2000;     // on a word of a kind-2 context: its value was set
}  // namespace context_flag

namespace context {

constexpr uint32_t no_values = 0xFFFFFFFF;
constexpr uint32_t kind_object = 2;
constexpr uint32_t unresolved = 0xFFFFFFFF;  // a word's index: not looked up yet, or `self`

extern node_t global;  // the global context (a root)

inline const cell* header_cell(node_t ctx) {
  return reinterpret_cast<const cell*>(memory::buffer_of(ctx)->data());
}
inline cell* header_cell_rw(node_t ctx) {
  return reinterpret_cast<cell*>(memory::buffer_of(ctx)->data_rw());
}
inline const cell* owner_cell(node_t ctx) { return header_cell(ctx) + 1; }
inline cell* owner_cell_rw(node_t ctx) { return header_cell_rw(ctx) + 1; }
inline bool on_stack(node_t ctx) { return header_cell(ctx)->header & context_flag::on_stack; }
inline uint32_t kind(node_t ctx) {
  return (header_cell(ctx)->header & context_flag::kind_mask) >> context_flag::kind_shift;
}
inline node_t symbols_node(node_t ctx) { return header_cell(ctx)->data1; }
inline node_t words_node(node_t ctx) { return hashtable::data_block(symbols_node(ctx)); }

// The word block's cells (valid until the next allocation) and their count.
inline const cell* words(node_t ctx) { return memory::buffer_of(words_node(ctx))->cells(); }
inline cell* words_rw(node_t ctx) { return memory::buffer_of(words_node(ctx))->cells_rw(); }
inline uint32_t size(node_t ctx) { return memory::buffer_of(words_node(ctx))->cell_count(); }

// The value cells from slot 0, or null when a stack context has no running call.
inline const cell* values(node_t ctx) {
  const cell* h = header_cell(ctx);
  if (h->header & context_flag::on_stack)
    return h->data2 == no_values ? nullptr : stack::at_index(h->data2);
  return h->data2 == 0 ? nullptr : memory::buffer_of(h->data2)->cells();
}
inline cell* values_rw(node_t ctx) {
  const cell* h = header_cell(ctx);
  if (h->header & context_flag::on_stack)
    return h->data2 == no_values ? nullptr : stack::at_index(h->data2);
  return h->data2 == 0 ? nullptr : memory::buffer_of(h->data2)->cells_rw();
}

// The word at an index, as a value to hand out (its word-set mark cleared).
void word_at(node_t ctx, uint32_t index, cell* out);

// A new context (capacity 0 taken as 1). With a source, its words are copied (rebound to the
// new node, marks cleared) and a heap context gets as many unset! values.
node_t create(uint32_t capacity, bool on_stack, bool creator_flag, node_t source, uint32_t kind);
// A context holding, in order, every word!, get-word!, lit-word! and refinement! of the whole
// spec buffer (case variants share one word); a heap context's values are unset!.
node_t make_from_spec(const cell* spec_block, bool on_stack, bool creator_flag, uint32_t kind);

// Lookup: index or -1. With case_insensitive the canonical ids are compared (the first word
// added answers); otherwise the symbol ids.
int32_t find_symbol(node_t ctx, uint32_t symbol, bool case_insensitive);
// The index of the symbol, or -1 after appending a new word; *added receives its index then.
int32_t find_or_add_symbol(node_t ctx, uint32_t symbol, bool case_insensitive, int32_t* added);
// Adds the symbol when absent (case-insensitive lookup); answers its index. A heap context's
// values block gets a new unset! cell.
uint32_t add_word(node_t ctx, uint32_t symbol);
// Adds or overwrites a value (case-insensitive lookup).
uint32_t put_word_value(node_t ctx, uint32_t symbol, const cell* value);
// Adds the word with the value only when absent; answers whether it was added.
bool add_word_if_absent(node_t ctx, uint32_t symbol, const cell* value);
// The value cell of a symbol that must be present (case-insensitive); a stack context answers
// from the global context instead.
const cell* symbol_value_cell(node_t ctx, uint32_t symbol);

// Binding: writes context and index into the word when the context holds its symbol
// (case-insensitive); answers the index or -1 (the word is left alone).
int32_t bind_word(node_t ctx, cell* word);
// Binds every word of a block, deeply (cycle-safe). With self_bind, a word! `self` is bound to
// the context with index -1.
void bind_block(node_t ctx, const cell* block, bool self_bind);
// Adds every set-word of the block (from its index); true when the context grew.
bool collect_set_words(node_t ctx, const cell* block);

/*
 * The global word of a symbol, added (unset!) when absent; all spellings share one slot. With
 * case_insensitive any case variant found answers, otherwise only the exact spelling (a new
 * alias gets a word of its own that points at the shared slot). With copy, a variant found
 * is answered with the requested spelling.
 */
void intern_global(uint32_t symbol, cell* out, bool case_insensitive = true, bool copy = true);
// The context's own word for the symbol when present (exact), else the global word.
void word_of_symbol(node_t ctx, uint32_t symbol, cell* out);

// The value cell of a word: `self` unresolved answers the owner; errors no-value (other
// unresolved words), not-defined (unbound), not-in-context (no values).
const cell* get_value(const cell* word);
cell* get_value_rw(const cell* word);  // the same, to write the value
// The value cell at an index of a heap context.
inline const cell* get_in(node_t ctx, uint32_t index) { return values(ctx) + index; }
inline cell* get_in_rw(node_t ctx, uint32_t index) { return values_rw(ctx) + index; }

/*
 * Stores a value for the word in `ctx` (resolving an unresolved index first, and writing it
 * into the word). In an object context the word-set mark is set; with fire_hook and an owner
 * that has on-set info, its on-change* handler runs with the word, old and new value.
 */
void set_in(cell* word, const cell* value, node_t ctx, bool fire_hook);
inline void set_value(cell* word, const cell* value, bool fire_hook = true) {
  // The commonest cases here: a word resolved in a context that is not an object's, its values
  // on the heap or in a running call's frame.
  node_t ctx = word::context_of(word);
  if (ctx != 0 && word::index_of(word) != unresolved) {
    const cell* h = header_cell(ctx);
    if (kind(ctx) != kind_object) {
      if (!(h->header & context_flag::on_stack)) {
        if (h->data2 != 0) {
          memory::buffer_of(h->data2)->cells_rw()[word::index_of(word)] = *value;
          return;
        }
      } else if (h->data2 != no_values) {
        *stack::at_index(h->data2 + word::index_of(word)) = *value;
        return;
      }
    }
  }
  set_in(word, value, ctx, fire_hook);
}

// A new context with the same size, flags and words, its words rebound to it; answers the node.
node_t clone(node_t ctx, uint32_t kind);

// Clears the word-set marks of every word.
void clear_word_marks(node_t ctx);

void init();

}  // namespace context
}  // namespace kaz

// Contexts: symbols mapped to value slots. The global context, every object and every function
// has one; a bound word carries its context and slot index, so reading it needs no lookup.
#pragma once

#include <cstdint>

#include "datatypes/cell.h"
#include "memory/series.h"

namespace kaz {

/*
 * A context node's buffer holds two cells. Cell 0 (context!): bits 11-12 of the header the kind
 * (2 for objects), bit 22 values on the evaluation stack, bit 24 a creator flag; data1 the node of
 * the word block (one word! per slot, bound to the context itself, in order of addition); data2
 * the node of the values block, or for a stack context the value-stack index of the running
 * call's first argument (no_values when no call runs). Cell 1: the owner value (unset! at first).
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

extern node_t global;  // the global context

inline cell* header_cell(node_t ctx) { return reinterpret_cast<cell*>(memory::buffer_of(ctx)->data()); }
inline cell* owner_cell(node_t ctx) { return header_cell(ctx) + 1; }
inline bool on_stack(node_t ctx) { return header_cell(ctx)->header & context_flag::on_stack; }
inline uint32_t kind(node_t ctx) {
  return (header_cell(ctx)->header & context_flag::kind_mask) >> context_flag::kind_shift;
}
inline node_t words_node(node_t ctx) { return header_cell(ctx)->data1; }

// The word block's cells and their count.
cell* words(node_t ctx);
uint32_t size(node_t ctx);

// The value cells from slot 0, or null when a stack context has no running call.
cell* values(node_t ctx);

node_t create(uint32_t capacity, bool on_stack, bool creator_flag, node_t source, uint32_t kind);
// A context holding, in spec order, every word!, get-word!, lit-word! and refinement! of the
// spec (case variants share one word).
node_t make_from_spec(cell* spec_block, bool on_stack, bool creator_flag, uint32_t kind);

// Lookup: index or -1. With case_insensitive the canonical ids are compared.
int32_t find_symbol(node_t ctx, uint32_t symbol, bool case_insensitive);
// Adds the symbol when absent (case-insensitive lookup); answers its index. A heap context's
// values block gets a new unset! cell.
uint32_t add_word(node_t ctx, uint32_t symbol);
// Adds or overwrites a value (case-insensitive lookup).
uint32_t put_word_value(node_t ctx, uint32_t symbol, const cell* value);

// Binding: writes context and index into the word when the context holds its symbol
// (case-insensitive); answers the index or -1 (the word is left alone).
int32_t bind_word(node_t ctx, cell* word);
// Binds every word of a block, deeply (cycle-safe). With self_bind, a word! `self` is bound to
// the context with index -1.
void bind_block(node_t ctx, cell* block, bool self_bind);
// Adds every set-word of the block (from its index); true when the context grew.
bool collect_set_words(node_t ctx, cell* block);

// The global word of a symbol, added (unset!) when absent; all spellings share one slot.
void intern_global(uint32_t symbol, cell* out);
// The context's own word for the symbol when present (exact), else the global word.
void word_of_symbol(node_t ctx, uint32_t symbol, cell* out);

// The value cell of a word (errors: not-in-context, no-value for an unresolved non-self word).
cell* get_value(const cell* word);
// Stores a value for the word in its context (resolving an unresolved index first); calls the
// owner's on-change* handler when the owner has one and fire_hook is set.
void set_value(cell* word, const cell* value, bool fire_hook = true);

// A new context with the same words and flags, its words rebound to it; answers the node.
node_t clone(node_t ctx, uint32_t kind);

void init();

}  // namespace context
}  // namespace kaz

#include "core/context.h"

#include "core/block_storage.h"
#include "core/object.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "core/word.h"
#include "core/words.h"
#include "memory/collector.h"
#include "memory/cycle_guard.h"
#include "runtime/fire.h"

namespace kaz::context {

node_t global = 0;

namespace {

constexpr uint32_t global_capacity = 4000;

void mark_global() {
  if (global) collector::mark_context(&global);
}

inline bool is_self(uint32_t sym) { return symbol::resolve(sym) == symbol::resolve(words::sym.self); }

// The slot a word found at `position` stands for (its own position, or in the global context
// the shared slot of the first spelling).
inline int32_t slot_at(node_t ctx, int32_t position) {
  return position < 0 ? position : static_cast<int32_t>(word::index_of(&words(ctx)[position]));
}

/*
 * The position of a symbol's word. Without case variants of its name, comparing symbol ids is
 * enough, and the probe stops at an exact match without looking other symbols up.
 */
inline int32_t find_position(node_t ctx, uint32_t sym, bool case_insensitive) {
  return hashtable::find_in_context(symbols_node(ctx), sym,
                                    case_insensitive && symbol::has_variants(sym));
}

}  // namespace

void word_at(node_t ctx, uint32_t index, cell* out) {
  *out = words(ctx)[index];
  out->header &= ~(context_flag::word_set | new_line_flag);
}

node_t create(uint32_t capacity, bool stack_values, bool creator_flag, node_t source,
              uint32_t kind) {
  if (capacity == 0) capacity = 1;
  uint32_t n = source ? size(source) : 0;
  if (capacity < n) capacity = n;
  node_t ctx = memory::alloc_cells(2);
  {
    series_buffer* s = memory::buffer_of(ctx);
    s->tail = s->offset + 32;
    cell* h = s->cells_rw();
    h->header = type::context | ((kind << context_flag::kind_shift) & context_flag::kind_mask) |
                (stack_values ? context_flag::on_stack : 0) |
                (creator_flag ? context_flag::creator : 0);
    h->data1 = 0;
    h->data2 = stack_values ? no_values : 0;
    h->data3 = 0;
    h[1] = cell{type::unset, 0, 0, 0};
  }
  // The words first (a source's, rebound), then the table indexes them. Both blocks have room
  // for `capacity` >= n cells: they are filled in place.
  node_t word_block = memory::alloc_cells(capacity);
  if (n) {
    series_buffer* s = memory::buffer_of(word_block);
    const cell* from = words(source);
    cell* to = s->cells_rw();
    for (uint32_t i = 0; i < n; ++i) {
      to[i] = from[i];
      to[i].data1 = ctx;
      to[i].header &= ~context_flag::word_set;
    }
    s->tail = s->offset + n * static_cast<uint32_t>(sizeof(cell));
  }
  node_t table = hashtable::create(capacity, word_block, hashtable::symbols);
  header_cell_rw(ctx)->data1 = table;
  if (!stack_values) {
    node_t vals = memory::alloc_cells(capacity);
    series_buffer* s = memory::buffer_of(vals);
    cell* v = s->cells_rw();
    for (uint32_t i = 0; i < n; ++i) v[i] = cell{type::unset, 0, 0, 0};
    s->tail = s->offset + n * static_cast<uint32_t>(sizeof(cell));
    header_cell_rw(ctx)->data2 = vals;
  }
  return ctx;
}

node_t make_from_spec(const cell* spec_in, bool stack_values, bool creator_flag, uint32_t kind) {
  cell spec = *spec_in;
  spec.data1 = 0;  // the whole buffer
  auto n = static_cast<uint32_t>(block::rs_length(&spec));
  node_t ctx = create(n, stack_values, creator_flag, 0, kind);
  for (uint32_t i = 0; i < static_cast<uint32_t>(block::rs_length(&spec)); ++i) {
    const cell* v = block::rs_head(&spec) + i;
    uint32_t t = type_of(v);
    if (t == type::word || t == type::get_word || t == type::lit_word || t == type::refinement)
      add_word(ctx, word::symbol_of(v));
  }
  return ctx;
}

int32_t find_symbol(node_t ctx, uint32_t sym, bool case_insensitive) {
  return slot_at(ctx, find_position(ctx, sym, case_insensitive));
}

int32_t find_or_add_symbol(node_t ctx, uint32_t sym, bool case_insensitive, int32_t* added) {
  int32_t found = hashtable::find_in_context(symbols_node(ctx), sym,
                                             case_insensitive && symbol::has_variants(sym), ctx,
                                             added);
  if (found >= 0) return slot_at(ctx, found);
  if (!on_stack(ctx)) memory::append_cell(header_cell(ctx)->data2);  // its unset! value
  return -1;
}

uint32_t add_word(node_t ctx, uint32_t sym) {
  int32_t added = -1;
  int32_t found = find_or_add_symbol(ctx, sym, true, &added);
  return static_cast<uint32_t>(found >= 0 ? found : added);
}

uint32_t put_word_value(node_t ctx, uint32_t sym, const cell* value) {
  cell v = *value;
  uint32_t index = add_word(ctx, sym);
  if (cell* vals = values_rw(ctx)) vals[index] = v;
  return index;
}

bool add_word_if_absent(node_t ctx, uint32_t sym, const cell* value) {
  if (find_symbol(ctx, sym, true) >= 0) return false;
  put_word_value(ctx, sym, value);
  return true;
}

const cell* symbol_value_cell(node_t ctx, uint32_t sym) {
  if (on_stack(ctx)) ctx = global;
  int32_t index = find_symbol(ctx, sym, true);
  if (index < 0) {
    cell w;
    intern_global(sym, &w);
    fire(err::script_not_in_context, &w);
  }
  return values(ctx) + index;
}

int32_t bind_word(node_t ctx, cell* word) {
  int32_t index = find_symbol(ctx, word::symbol_of(word), true);
  if (index >= 0) {
    word->data1 = ctx;
    word->data3 = static_cast<uint32_t>(index);
  }
  return index;
}

bool collect_set_words(node_t ctx, const cell* block_in) {
  uint32_t before = size(ctx);
  cell b = *block_in;
  for (int32_t i = 0; i < block::rs_length(&b); ++i) {
    const cell* v = block::rs_head(&b) + i;
    if (type_of(v) == type::set_word) add_word(ctx, word::symbol_of(v));
  }
  return size(ctx) > before;
}

void intern_global(uint32_t sym, cell* out, bool case_insensitive, bool copy) {
  int32_t added = -1;
  int32_t position = hashtable::find_in_context(
      symbols_node(global), sym, case_insensitive && symbol::has_variants(sym), global, &added);
  cell w;
  if (position < 0) {
    // Added: a later spelling of a name shares the slot of the first one.
    memory::append_cell(header_cell(global)->data2);
    if (symbol::alias(sym) > 0) {
      int32_t shared = find_position(global, symbol::resolve(sym), true);
      uint32_t index = word::index_of(&words(global)[shared]);
      words_rw(global)[added].data3 = index;
    }
    position = added;
  }
  word_at(global, static_cast<uint32_t>(position), &w);
  if (copy) w.data2 = sym;
  *out = w;
}

void word_of_symbol(node_t ctx, uint32_t sym, cell* out) {
  if (ctx) {
    int32_t position = find_position(ctx, sym, false);
    if (position >= 0) {
      word_at(ctx, static_cast<uint32_t>(position), out);
      return;
    }
  }
  intern_global(sym, out);
}

const cell* get_value(const cell* word) {
  node_t ctx = word::context_of(word);
  if (word::index_of(word) == unresolved) {
    if (ctx && is_self(word::symbol_of(word))) return owner_cell(ctx);
    fire(err::script_no_value, word);
  }
  if (ctx == 0) fire(err::script_not_defined, word);
  const cell* vals = values(ctx);
  if (!vals) fire(err::script_not_in_context, word);
  return vals + word::index_of(word);
}

cell* get_value_rw(const cell* word) {
  get_value(word);  // the same errors
  node_t ctx = word::context_of(word);
  if (word::index_of(word) == unresolved) return owner_cell_rw(ctx);
  return values_rw(ctx) + word::index_of(word);
}

void set_in(cell* word, const cell* value_in, node_t ctx, bool fire_hook) {
  if (ctx == 0) fire(err::script_not_defined, word);
  if (word::index_of(word) == unresolved) {
    int32_t index = find_symbol(ctx, word::symbol_of(word), false);
    if (index < 0) index = static_cast<int32_t>(add_word(ctx, word::symbol_of(word)));
    word->data3 = static_cast<uint32_t>(index);
  }
  cell* vals = values_rw(ctx);
  if (!vals) fire(err::script_not_defined, word);
  uint32_t index = word::index_of(word);
  if (kind(ctx) != kind_object) {
    vals[index] = *value_in;
    return;
  }
  words_rw(ctx)[index].header |= context_flag::word_set;
  const cell* owner = owner_cell(ctx);
  if (!fire_hook || object::hooks_of(owner) == 0 || type_of(owner) != type::object) {
    vals[index] = *value_in;
    return;
  }
  // The handler sees the old and the new value; both stay on the stack while it runs.
  cell* top = stack::top;
  cell* old = stack::push(vals + index);
  cell* now = stack::push(value_in);
  values_rw(ctx)[index] = *now;
  cell o = *owner;
  cell w = *word;
  object::fire_on_change(&o, &w, old, now);
  stack::top = top;
}

node_t clone(node_t src, uint32_t kind_code) {
  const cell* h = header_cell(src);
  bool stack_values = h->header & context_flag::on_stack;
  bool creator_flag = h->header & context_flag::creator;
  return create(size(src), stack_values, creator_flag, src, kind_code);
}

void clear_word_marks(node_t ctx) {
  cell* w = words_rw(ctx);
  for (uint32_t i = 0, n = size(ctx); i < n; ++i) w[i].header &= ~context_flag::word_set;
}

void init() {
  if (global) return;
  global = create(global_capacity, false, false, 0, 0);
  collector::add_mark_callback(mark_global);
}

}  // namespace kaz::context

#include "core/context.h"

#include "core/cycle_guard.h"
#include "memory/collector.h"
#include "core/fire.h"
#include "core/object.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "datatypes/block_storage.h"

namespace kaz::context {

node_t global = 0;

namespace {

series_buffer* word_buffer(node_t ctx) { return memory::buffer_of(words_node(ctx)); }

}  // namespace

cell* words(node_t ctx) { return word_buffer(ctx)->cells(); }
uint32_t size(node_t ctx) { return word_buffer(ctx)->length(); }

cell* values(node_t ctx) {
  cell* h = header_cell(ctx);
  if (h->header & context_flag::on_stack) {
    if (h->data2 == no_values) return nullptr;
    return stack::at_index(h->data2);
  }
  if (h->data2 == 0) return nullptr;
  return memory::buffer_of(h->data2)->cells();
}

node_t create(uint32_t capacity, bool stack_values, bool creator_flag, node_t source,
              uint32_t kind) {
  if (capacity == 0) capacity = 1;
  node_t ctx = memory::alloc_cells(2);
  {
    series_buffer* s = memory::buffer_of(ctx);
    s->tail = s->offset + 32;
    cell* h = s->cells();
    h->header = type::context | ((kind << context_flag::kind_shift) & context_flag::kind_mask) |
                (stack_values ? context_flag::on_stack : 0) |
                (creator_flag ? context_flag::creator : 0);
    h->data1 = 0;
    h->data2 = stack_values ? no_values : 0;
    h->data3 = 0;
    (h + 1)->header = type::unset;
  }
  node_t words_block = memory::alloc_cells(capacity);
  header_cell(ctx)->data1 = words_block;
  if (!stack_values) {
    node_t vals = memory::alloc_cells(capacity);
    header_cell(ctx)->data2 = vals;
  }
  if (source) {
    uint32_t n = size(source);
    for (uint32_t i = 0; i < n; ++i) {
      cell w = words(source)[i];
      w.data1 = ctx;
      w.header &= ~context_flag::word_set;
      *memory::append_cell(words_node(ctx)) = w;
    }
    if (!stack_values) {
      for (uint32_t i = 0; i < n; ++i) memory::append_cell(header_cell(ctx)->data2);
    }
  }
  return ctx;
}

int32_t find_symbol(node_t ctx, uint32_t sym, bool case_insensitive) {
  series_buffer* s = word_buffer(ctx);
  cell* w = s->cells();
  uint32_t n = s->length();
  if (case_insensitive) {
    uint32_t want = symbol::resolve(sym);
    for (uint32_t i = 0; i < n; ++i)
      if (w[i].data2 == sym || symbol::resolve(w[i].data2) == want) return static_cast<int32_t>(i);
  } else {
    for (uint32_t i = 0; i < n; ++i)
      if (w[i].data2 == sym) return static_cast<int32_t>(i);
  }
  return -1;
}

uint32_t add_word(node_t ctx, uint32_t sym) {
  int32_t found = find_symbol(ctx, sym, true);
  if (found >= 0) return static_cast<uint32_t>(found);
  uint32_t index = size(ctx);
  cell* w = memory::append_cell(words_node(ctx));
  w->header = type::word;
  w->data1 = ctx;
  w->data2 = sym;
  w->data3 = index;
  if (!on_stack(ctx)) memory::append_cell(header_cell(ctx)->data2);  // unset! value
  return index;
}

uint32_t put_word_value(node_t ctx, uint32_t sym, const cell* value) {
  cell v = *value;
  uint32_t index = add_word(ctx, sym);
  cell* vals = values(ctx);
  if (vals) vals[index] = v;
  return index;
}

node_t make_from_spec(cell* spec, bool stack_values, bool creator_flag, uint32_t kind) {
  cell s = *spec;
  int32_t n = block::rs_length(&s);
  node_t ctx = create(n > 0 ? static_cast<uint32_t>(n) : 1, stack_values, creator_flag, 0, kind);
  for (int32_t i = 0; i < block::rs_length(&s); ++i) {
    cell* v = block::rs_head(&s) + i;
    uint32_t t = type_of(v);
    if (t == type::word || t == type::get_word || t == type::lit_word || t == type::refinement)
      add_word(ctx, v->data2);
  }
  return ctx;
}

int32_t bind_word(node_t ctx, cell* word) {
  int32_t index = find_symbol(ctx, word->data2, true);
  if (index >= 0) {
    word->data1 = ctx;
    word->data3 = static_cast<uint32_t>(index);
  }
  return index;
}

namespace {

uint32_t self_symbol() {
  static uint32_t id = symbol::make("self");
  return id;
}

}  // namespace

void bind_block(node_t ctx, cell* b, bool self_bind) {
  node_t node = b->data2;
  cycle_guard guard(node);
  if (!guard.entered()) return;
  uint32_t self = self_symbol();
  for (int32_t i = 0;; ++i) {
    // Re-read every step: binding never allocates, but nested binds re-enter this loop.
    if (i >= block::rs_length(b)) break;
    cell* v = block::rs_head(b) + i;
    uint32_t t = type_of(v);
    if (is_any_block(t)) {
      cell nested = *v;
      bind_block(ctx, &nested, self_bind);
    } else if (t >= type::word && t <= type::refinement) {
      if (self_bind && t == type::word && v->data2 == self) {
        v->data1 = ctx;
        v->data3 = 0xFFFFFFFF;
      } else {
        bind_word(ctx, v);
      }
    }
  }
}

bool collect_set_words(node_t ctx, cell* b) {
  uint32_t before = size(ctx);
  cell blk = *b;
  for (int32_t i = 0; i < block::rs_length(&blk); ++i) {
    cell* v = block::rs_head(&blk) + i;
    if (type_of(v) == type::set_word) add_word(ctx, v->data2);
  }
  return size(ctx) > before;
}

void intern_global(uint32_t sym, cell* out) {
  int32_t index = find_symbol(global, sym, false);
  if (index < 0) {
    int32_t variant = symbol::alias(sym) > 0 ? find_symbol(global, sym, true) : -1;
    if (variant >= 0) {
      index = variant;
    } else {
      index = static_cast<int32_t>(add_word(global, sym));
    }
  }
  out->header = type::word;
  out->data1 = global;
  out->data2 = sym;
  out->data3 = static_cast<uint32_t>(index);
}

void word_of_symbol(node_t ctx, uint32_t sym, cell* out) {
  if (ctx) {
    int32_t index = find_symbol(ctx, sym, false);
    if (index >= 0) {
      *out = words(ctx)[index];
      return;
    }
  }
  intern_global(sym, out);
}

cell* get_value(const cell* word) {
  node_t ctx = word->data1;
  if (word->data3 == 0xFFFFFFFF) {
    if (ctx && word->data2 == self_symbol()) return owner_cell(ctx);
    fire(err::script_no_value, word);
  }
  if (ctx == 0) fire(err::script_not_defined, word);
  cell* vals = values(ctx);
  if (!vals) fire(err::script_not_in_context, word);
  return vals + word->data3;
}

void set_value(cell* word, const cell* value, bool fire_hook) {
  node_t ctx = word->data1;
  if (ctx == 0) fire(err::script_not_defined, word);
  if (word->data3 == 0xFFFFFFFF) {
    int32_t index = find_symbol(ctx, word->data2, false);
    if (index < 0) index = static_cast<int32_t>(add_word(ctx, word->data2));
    word->data3 = static_cast<uint32_t>(index);
  }
  cell* vals = values(ctx);
  if (!vals) fire(err::script_not_defined, word);
  uint32_t index = word->data3;
  if (kind(ctx) == kind_object) {
    words(ctx)[index].header |= context_flag::word_set;
    cell* owner = owner_cell(ctx);
    if (fire_hook && owner->data3 != 0 && type_of(owner) == type::object) {
      object::set_field_with_hook(ctx, index, value);
      return;
    }
  }
  values(ctx)[index] = *value;
}

node_t clone(node_t src, uint32_t kind_code) {
  cell* h = header_cell(src);
  bool stack_values = h->header & context_flag::on_stack;
  bool creator_flag = h->header & context_flag::creator;
  uint32_t n = size(src);
  return create(n ? n : 1, stack_values, creator_flag, src, kind_code);
}

void init() {
  global = create(4000, false, false, 0, 0);
  collector::add_root_node(&global);
}

}  // namespace kaz::context

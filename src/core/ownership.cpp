#include "core/ownership.h"

#include "core/context.h"
#include "core/object.h"
#include "core/series_cell.h"
#include "memory/collector.h"
#include "memory/cycle_stack.h"
#include "memory/hashtable.h"

namespace kaz::ownership {

namespace {

node_t owners = 0;  // a root: the collector may renumber it
deep_change_fn handler = nullptr;

void sweep() {
  if (owners) hashtable::sweep_dead_keys(owners);
}

bool is_series_kind(uint32_t t) {
  return is_any_block(t) || is_any_string(t) || t == type::binary || t == type::vector ||
         t == type::image;
}
bool is_walked(uint32_t t) { return t == type::block || t == type::paren || t == type::hash || is_any_path(t); }

inline bool context_owns(node_t ctx) {
  return context::header_cell(ctx)->header & context_flag::owned;
}

// Owned flag of a series value: in its buffer, or for an image! in its cell.
bool owned(const cell* v) {
  if (type_of(v) == type::image) return v->header & image_owned;
  return memory::buffer_of(series::node_of(v))->flags & series_flag::owned;
}
void set_owned(cell* v, bool on) {
  if (type_of(v) == type::image) {
    v->header = on ? v->header | image_owned : v->header & ~image_owned;
    return;
  }
  series_buffer* s = memory::buffer_of(series::node_of(v));
  s->flags = on ? s->flags | series_flag::owned : s->flags & ~series_flag::owned;
}

void put_entry(node_t key, const cell* value, const cell* owner, const cell* word) {
  cell v = *value, o = *owner, w = *word;  // the table may grow under the pointers
  cell* e = hashtable::put_pointer(table(), key);
  e[0] = v;
  e[1] = o;
  e[2] = w;
}

// The cells of a block or path from its head, one at a time: the buffer may move while a cell
// is being handled, so each is reached through the node again.
template <class F>
void each_cell(const cell* block, F f) {
  node_t node = series::node_of(block);
  for (uint32_t i = series::index_of(block); i < memory::buffer_of(node)->length(); ++i)
    f(memory::buffer_of(node)->cells_rw() + i);
}

// The values of an object's context, with their words.
template <class F>
void each_field(node_t ctx, F f) {
  const cell* h = context::header_cell(ctx);
  if (h->header & context_flag::on_stack || h->data2 == 0) return;
  node_t words = context::words_node(ctx), values = h->data2;
  for (uint32_t i = 0; i < memory::buffer_of(values)->length(); ++i) {
    cell* v = memory::buffer_of(values)->cells_rw() + i;
    const cell* w = i < memory::buffer_of(words)->length() ? memory::buffer_of(words)->cells() + i : nullptr;
    f(v, w);
  }
}

}  // namespace

void init() {
  if (owners) return;
  owners = hashtable::create(1000, 0, hashtable::owners, 3);
  collector::add_root_node(&owners);
  collector::add_sweep_callback(sweep);
}

node_t table() {
  if (!owners) init();
  return owners;
}

void set_owner(cell* value, const cell* owner, const cell* word) {
  cell o = *owner;
  set_owner_deep(value, &o, word);
  context::header_cell_rw(object::context_of(&o))->header |= context_flag::owned;
}

void set_owner_deep(cell* value, const cell* owner_in, const cell* word_in) {
  cell owner = *owner_in, word = *word_in;
  uint32_t t = type_of(value);
  if (is_series_kind(t) || t == type::bitset) {
    // An entry is dropped by the collector when its owner dies, leaving the flag set: such a
    // series is owned by nobody.
    bool fresh = !owned(value) || !hashtable::get_pointer(table(), series::node_of(value));
    if (fresh) set_owned(value, true);
    cell self = *value;  // `value` may point into a buffer that moves from here on
    if (fresh) put_entry(series::node_of(&self), &self, &owner, &word);
    if (!is_walked(t) || cycle_stack::contains(series::node_of(&self))) return;
    cycle_stack::push(series::node_of(&self));
    each_cell(&self, [&](cell* c) { set_owner_deep(c, &owner, &word); });
    cycle_stack::pop();
    return;
  }
  if (t == type::object) {
    node_t ctx = object::context_of(value);
    if (context_owns(ctx) || cycle_stack::contains(ctx)) return;
    cycle_stack::push(ctx);
    each_field(ctx, [&](cell* v, const cell* w) {
      if (type_of(v) == type::object && object::context_of(v) == object::context_of(&owner)) return;  // the owner itself
      if (w) set_owner_deep(v, &owner, w);
    });
    cycle_stack::pop();
  }
}

void unbind(cell* value) {
  uint32_t t = type_of(value);
  if (t == type::object) {
    node_t ctx = object::context_of(value);
    if (context_owns(ctx) || cycle_stack::contains(ctx)) return;
    cycle_stack::push(ctx);
    each_field(ctx, [](cell* v, const cell*) { unbind(v); });
    cycle_stack::pop();
    return;
  }
  if (!is_series_kind(t) && t != type::bitset) return;
  set_owned(value, false);
  cell* e = hashtable::get_pointer(table(), series::node_of(value));
  if (!e) return;
  e[0] = e[1] = e[2] = cell{type::unset, 0, 0, 0};
  hashtable::remove_pointer(table(), series::node_of(value));
  if (!is_walked(t)) return;
  cell self = *value;
  each_cell(&self, [](cell* c) { unbind(c); });
}

void clear_owner_range(cell* block, uint32_t index, uint32_t count) {
  node_t node = series::node_of(block);
  for (uint32_t i = index; i < index + count && i < memory::buffer_of(node)->length(); ++i)
    unbind(memory::buffer_of(node)->cells_rw() + i);
}

cell* find_owner(node_t node) {
  cell* e = hashtable::get_pointer(table(), node);
  return e ? e + 1 : nullptr;
}

void set_deep_change_handler(deep_change_fn f) { handler = f; }

bool check(cell* value, cell* action, cell* new_value, int32_t index, int32_t part) {
  if (!owners) return false;
  uint32_t t = type_of(value);
  node_t key = t == type::object ? object::context_of(value) : series::node_of(value);
  cell* e = hashtable::get_pointer(owners, key);
  if (!e || object::hooks_of(&e[1]) == 0 || !handler) return false;
  cell owner = e[1], word = e[2];  // the handler runs code: keep copies
  handler(&owner, &word, value, action, new_value, index, part);
  return true;
}

}  // namespace kaz::ownership

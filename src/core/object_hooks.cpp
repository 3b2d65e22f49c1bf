// Reactivity hooks: an object with an on-change* or on-deep-change* field calls it when one of
// its fields is set, or when a series it owns is modified.
#include "core/block_storage.h"
#include "core/context.h"
#include "core/evaluator.h"
#include "core/function.h"
#include "core/object.h"
#include "core/object_internal.h"
#include "core/ownership.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "core/word.h"
#include "core/words.h"
#include "runtime/fire.h"

namespace kaz::object {

namespace {

enum : uint32_t { change_slot = 0, deep_change_slot = 1 };

inline const cell* info_cells(node_t on_set) { return memory::buffer_of(on_set)->cells(); }
inline uint32_t handler_index(const cell* info) { return info->data2 >> 16; }

// The number of words after /local in a function's spec.
uint32_t locals_count(const cell* fn) {
  cell spec{type::block, 0, function::spec_of(fn), 0};
  uint32_t n = 0;
  bool in_locals = false;
  for (int32_t i = 0; i < block::rs_length(&spec); ++i) {
    const cell* v = block::rs_head(&spec) + i;
    if (type_of(v) == type::refinement)
      in_locals = symbol::resolve(word::symbol_of(v)) == symbol::resolve(words::sym.local);
    else if (in_locals && type_of(v) == type::word)
      ++n;
  }
  return n;
}

// Whether a block holds a word of the symbol (case-insensitive).
bool names_include(const cell* names, uint32_t sym) {
  cell b = *names;
  for (int32_t i = 0; i < block::rs_length(&b); ++i) {
    const cell* v = block::rs_head(&b) + i;
    if (is_any_word(type_of(v)) && symbol::resolve(word::symbol_of(v)) == symbol::resolve(sym)) return true;
  }
  return false;
}

inline uint32_t packed(uint32_t index, uint32_t locals) { return index << 16 | (locals & 0xFFFF); }

/*
 * Calls a handler in a function frame of its name with the arguments given; the locals are laid
 * out by the call. The handler's result is dropped. An exit that leaves the handler toward code
 * beyond it goes on there (see exit_in_flight).
 */
void call_handler(const cell* fn, const cell* name, const cell* args, uint32_t count) {
  uint32_t mark = stack::index_of(stack::top);
  cell f = *fn;
  stack::open_function_frame(name, 0);
  for (uint32_t i = 0; i < count; ++i) stack::push(args + i);
  flow r = evaluator::call_with_arguments(&f, name);
  stack::close_function_frame();
  stack::top = stack::at_index(mark);
  raise_exit(r);
}

// The function in a handler slot, with its cached locals count brought up to date when the
// handler was replaced; null when the object has no such handler.
const cell* handler_of(const cell* object, uint32_t which, cell* fn) {
  node_t on_set = object->data3;
  const cell* info = info_cells(on_set) + which;
  uint32_t index = handler_index(info);
  if (index == no_handler || index >= context::size(object->data1)) return nullptr;
  *fn = context::values(object->data1)[index];
  if (type_of(fn) == type::function && function::spec_of(fn) != info->data3) {
    uint32_t locals = locals_count(fn);
    cell* fresh = memory::buffer_of(on_set)->cells_rw() + which;
    fresh->data2 = packed(index, locals);
    fresh->data3 = fn->data2;
  }
  return fn;
}

// The ownership table's way into on-deep-change*.
void deep_change(cell* owner, cell* word, cell* target, cell* action, cell* now, int32_t index,
                 int32_t part) {
  fire_on_deep_change(owner, word, target, action, now, index, part);
}

}  // namespace

void install_deep_change_handler() { ownership::set_deep_change_handler(deep_change); }

node_t make_on_set_info(uint32_t change_index, uint32_t change_locals, node_t change_spec,
                        uint32_t deep_index, uint32_t deep_locals, node_t deep_spec) {
  node_t n = memory::alloc_cells(2);
  series_buffer* s = memory::buffer_of(n);
  s->tail = s->offset + 32;
  cell* c = s->cells_rw();
  c[change_slot] = cell{type::pair, 0, packed(change_index, change_locals), change_spec};
  c[deep_change_slot] = cell{type::pair, 0, packed(deep_index, deep_locals), deep_spec};
  return n;
}

node_t make_on_set_from_context(node_t ctx) {
  uint32_t found[2] = {no_handler, no_handler};
  uint32_t wanted[2] = {symbol::resolve(words::sym.on_change),
                        symbol::resolve(words::sym.on_deep_change)};
  for (uint32_t i = 0, n = context::size(ctx); i < n; ++i) {
    uint32_t s = symbol::resolve(word::symbol_of(&context::words(ctx)[i]));
    for (uint32_t k = 0; k < 2; ++k)
      if (s == wanted[k]) found[k] = i;  // the last one wins
  }
  if (found[0] == no_handler && found[1] == no_handler) return 0;
  uint32_t locals[2] = {0, 0};
  node_t specs[2] = {0, 0};
  for (uint32_t k = 0; k < 2; ++k) {
    if (found[k] == no_handler) continue;
    cell v = context::values(ctx)[found[k]];
    if (type_of(&v) != type::function && type_of(&v) != type::routine) {
      cell w;
      context::word_at(ctx, found[k], &w);
      cell dt{type::datatype_, type_of(&v), 0, 0};
      fire(err::script_bad_field_set, &w, &dt);
    }
    locals[k] = locals_count(&v);
    specs[k] = function::spec_of(&v);
  }
  return make_on_set_info(found[0], locals[0], specs[0], found[1], locals[1], specs[1]);
}

void init_on_set(cell* object) {
  node_t ctx = object->data1;
  node_t on_set = make_on_set_from_context(ctx);
  object->data3 = on_set;
  *context::owner_cell_rw(ctx) = *object;
  if (has_on_deep_change(object)) own_fields(object, nullptr);
}

void own_fields(const cell* object, const cell* names) {
  cell o = *object;
  node_t ctx = o.data1;
  context::header_cell_rw(ctx)->header |= context_flag::owned;
  for (uint32_t i = 0; i < context::size(ctx); ++i) {
    cell w;
    context::word_at(ctx, i, &w);
    if (names && !names_include(names, word::symbol_of(&w))) continue;
    ownership::set_owner(context::values_rw(ctx) + i, &o, &w);
  }
}

void disown_fields(const cell* object) {
  node_t ctx = object->data1;
  for (uint32_t i = 0; i < context::size(ctx); ++i) ownership::unbind(context::values_rw(ctx) + i);
  context::header_cell_rw(ctx)->header &= ~context_flag::owned;
}

bool has_on_deep_change(const cell* object) {
  return object->data3 &&
         handler_index(info_cells(object->data3) + deep_change_slot) != no_handler;
}

void fire_on_change(const cell* object, const cell* word, const cell* old, const cell* now) {
  cell o = *object;
  if (!o.data3) return;
  cell fn;
  if (!handler_of(&o, change_slot, &fn)) return;
  if (type_of(&fn) != type::function) fire(err::script_invalid_obj_evt, &fn);
  cell args[3] = {*word, *old, *now};
  if (word::context_of(&args[0]) != o.data1) {
    int32_t index = context::find_symbol(o.data1, word::symbol_of(&args[0]), true);
    args[0].data1 = o.data1;
    args[0].data3 = index < 0 ? context::unresolved : static_cast<uint32_t>(index);
  }
  call_handler(&fn, &words::word.on_change, args, 3);
}

void fire_on_deep_change(const cell* owner, const cell* word, const cell* target,
                         const cell* action, const cell* now, int32_t index, int32_t part) {
  cell o = *owner;
  if (!o.data3) fire(err::script_invalid_obj_evt, &o);
  cell fn;
  if (!handler_of(&o, deep_change_slot, &fn) || type_of(&fn) != type::function) return;
  cell args[7] = {o,
                  *word,
                  *target,
                  *action,
                  now ? *now : cell{type::none, 0, 0, 0},
                  cell{type::integer, 0, static_cast<uint32_t>(index), 0},
                  cell{type::integer, 0, static_cast<uint32_t>(part), 0}};
  call_handler(&fn, &words::word.on_deep_change, args, 7);
}

}  // namespace kaz::object

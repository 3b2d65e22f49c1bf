// Making objects: from a spec block or another object, copies with their methods rebound, the
// unevaluated `construct`, and setting many fields at once.
#include "core/object.h"

#include <optional>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/evaluator.h"
#include "core/function.h"
#include "core/object_internal.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/typeset.h"
#include "core/word.h"
#include "core/words.h"
#include "memory/cycle_guard.h"
#include "runtime/fire.h"

namespace kaz::object {

namespace {

uint32_t class_counter = 100;

// The series that copying an object copies: the block and string families.
bool copied_series(uint32_t t) {
  return t == type::block || t == type::paren || is_any_path(t) || is_any_string(t);
}

// A copy of a block- or string-family value, from its index; nested blocks too when deep.
cell copy_series(const cell* v, bool deep) {
  cell source = *v;
  uint32_t t = type_of(&source);
  cell out;
  if (is_any_string(t)) {
    string::make_at(&out, string::length_from_head(&source) + 1, t);
    string::append_string(series::node_of(&out), &source);
  } else {
    out = *block::copy_cells(&source, deep, true);
    stack::drop_values(1);
  }
  out.header = source.header & ~new_line_flag;
  set_type(&out, t);
  return out;
}

// Gives every series value of a context a copy of its own (blocks bound to the context) and
// every method a body of its own.
void own_values(node_t ctx) {
  for (uint32_t i = 0; i < context::size(ctx); ++i) {
    cell v = context::values(ctx)[i];
    uint32_t t = type_of(&v);
    if (copied_series(t)) {
      cell c = copy_series(&v, true);
      stack::push(&c);  // held while binding
      if (!is_any_string(t)) context::bind_block(ctx, &c, true);
      context::values_rw(ctx)[i] = c;
      stack::drop_values(1);
    } else if (t == type::function) {
      copy_function_value(&v, ctx);
      context::values_rw(ctx)[i] = v;
    }
  }
}

// Clears the word-set marks of a new object's context and the new-line markers of its values.
void settle(node_t ctx) {
  context::clear_word_marks(ctx);
  cell* v = context::values_rw(ctx);
  for (uint32_t i = 0, n = context::size(ctx); i < n; ++i) v[i].header &= ~new_line_flag;
}

}  // namespace

void make_empty_at(cell* c, uint32_t capacity) {
  node_t ctx = context::create(capacity, false, false, 0, context::kind_object);
  *c = cell{type::object, ctx, 0, 0};
  *context::owner_cell_rw(ctx) = *c;
}

uint32_t next_class_id() { return ++class_counter; }

void copy_function_value(cell* fn, node_t object_ctx) {
  cell f = *fn;
  cell body = function::extra_cells(&f)[extra::body];
  if (type_of(&body) != type::block) fire(err::script_bad_func_def, &f);
  uint32_t base = stack::index_of(stack::top);
  stack::push(&f);
  cell spec{type::block, 0, function::spec_of(&f), 0};
  node_t fctx = context::clone(function::context_of(&f), context::kind(function::context_of(&f)));
  cell copy = *block::copy_cells(&body, true, true);
  context::bind_block(object_ctx, &copy, true);
  // make_value copies the body once more and binds it to the function's new context.
  cell made;
  function::make_value(&made, &spec, &copy, fctx, 0, f.header & ~type_mask);
  stack::top = stack::at_index(base);
  *fn = made;
}

void copy_context(const cell* source, cell* out, bool deep, const cell* types_in, bool hooks) {
  cell src = *source;
  cell types{};
  if (types_in) types = *types_in;
  node_t from = src.data1;
  // Copying a nested object of the types met again inside itself would not end.
  std::optional<cycle_guard> guard;
  if (types_in && deep) {
    if (cycle_guard::contains(from)) fire(err::internal_no_cycle);
    guard.emplace(from);
  }
  node_t ctx = context::clone(from, context::kind_object);
  uint32_t n = context::size(from);
  for (uint32_t i = 0; i < n; ++i) context::values_rw(ctx)[i] = context::values(from)[i];
  cell made{type_of(&src), ctx, src.data2, hooks ? 0 : src.data3};
  uint32_t base = stack::index_of(stack::top);
  stack::push(&made);  // keeps the copy alive while its values are copied
  *context::owner_cell_rw(ctx) = made;
  for (uint32_t i = 0; i < n; ++i) {
    cell v = context::values(ctx)[i];
    uint32_t t = type_of(&v);
    if (t == type::function) {
      copy_function_value(&v, ctx);
    } else if (types_in ? typeset::has(&types, t) : deep) {
      if (copied_series(t)) {
        v = copy_series(&v, deep);
      } else if (types_in && is_any_object(t)) {
        copy_context(&v, &v, deep, &types, true);
      } else {
        continue;
      }
    } else {
      continue;
    }
    context::values_rw(ctx)[i] = v;
  }
  if (hooks) init_on_set(stack::at_index(base));
  *out = *stack::at_index(base);
  stack::top = stack::at_index(base);
}

void copy_values_rebind(node_t source, node_t target, bool copy_all) {
  uint32_t n = context::size(source);
  for (uint32_t i = 0; i < n; ++i) {
    cell v = context::values(source)[i];
    uint32_t t = type_of(&v);
    if (copied_series(t)) {
      cell c = copy_series(&v, true);
      stack::push(&c);
      if (!is_any_string(t)) context::bind_block(target, &c, true);
      context::values_rw(target)[i] = c;
      stack::drop_values(1);
    } else if (copy_all) {
      context::values_rw(target)[i] = v;
    }
  }
}

bool extend_values(node_t target, node_t source) {
  uint32_t before = context::size(target);
  for (uint32_t i = 0; i < context::size(source); ++i) {
    cell v = context::values(source)[i];
    context::put_word_value(target, word::symbol_of(&context::words(source)[i]), &v);
  }
  own_values(target);
  return context::size(target) > before;
}

// make (slot 1): from a prototype object (or none) and a spec block or object.
cell* make(cell* proto, cell* spec, uint32_t) {
  cell p = *proto;
  cell s = *spec;
  bool from_object = type_of(&p) == type::object;
  uint32_t base = stack::index_of(stack::top);
  cell* r = stack::reserve_cell();  // the new object, kept alive on the stack
  if (from_object) {
    copy_context(&p, r, false, nullptr, false);
    r->data3 = 0;  // the handlers wake up once the object is built
    *context::owner_cell_rw(r->data1) = *r;
  } else {
    make_empty_at(r, 4);
  }
  node_t ctx = r->data1;
  bool grew;
  if (type_of(&s) == type::object) {
    grew = extend_values(ctx, s.data1);
  } else {
    if (type_of(&s) != type::block) fire(err::syntax_malconstruct, &s);
    grew = context::collect_set_words(ctx, &s);
    context::bind_block(ctx, &s, true);
    if (from_object) copy_values_rebind(p.data1, ctx, false);
    *context::owner_cell_rw(ctx) = *stack::at_index(base);
    uint32_t mark = stack::index_of(stack::top);
    flow f = evaluator::eval_block(&s, false);
    stack::top = stack::at_index(mark);
    raise_exit(f);
    settle(ctx);
  }
  r = stack::at_index(base);
  r->data2 = grew || !from_object ? next_class_id() : p.data2;
  init_on_set(r);
  *proto = *r;
  stack::top = stack::at_index(base);
  return proto;
}

void construct_words(node_t ctx, const cell* spec_in, bool only) {
  cell spec = *spec_in;
  spec.data1 = 0;  // the whole buffer
  int32_t n = block::rs_length(&spec);
  int32_t i = 0;
  while (i < n) {
    if (type_of(block::rs_head(&spec) + i) != type::set_word) {
      ++i;
      continue;
    }
    int32_t end = i;
    while (end < n && type_of(block::rs_head(&spec) + end) == type::set_word) ++end;
    cell value{type::none, 0, 0, 0};
    if (end < n) value = *(block::rs_head(&spec) + end);
    value.header &= ~new_line_flag;
    if (!only && type_of(&value) == type::word) {
      uint32_t s = symbol::resolve(word::symbol_of(&value));
      auto is = [s](uint32_t w) { return s == symbol::resolve(w); };
      if (is(words::sym.true_) || is(words::sym.yes) || is(words::sym.on))
        value = cell{type::logic, 1, 0, 0};
      else if (is(words::sym.false_) || is(words::sym.no) || is(words::sym.off))
        value = cell{type::logic, 0, 0, 0};
      else if (is(words::sym.none))
        value = cell{type::none, 0, 0, 0};
    }
    for (int32_t k = i; k < end; ++k) {
      uint32_t index = context::add_word(ctx, word::symbol_of(block::rs_head(&spec) + k));
      context::values_rw(ctx)[index] = value;
    }
    i = end + 1;
  }
}

void construct(cell* out, const cell* spec, const cell* prototype, bool only) {
  cell s = *spec;
  uint32_t base = stack::index_of(stack::top);
  cell* r = stack::reserve_cell();
  if (prototype) {
    copy_context(prototype, r, true, nullptr, true);
  } else {
    make_empty_at(r, 4);
    r->data2 = next_class_id();
    *context::owner_cell_rw(r->data1) = *r;
  }
  construct_words(r->data1, &s, only);
  *out = *stack::at_index(base);
  stack::top = stack::at_index(base);
}

int32_t word_index(const cell* object, const cell* word) {
  return context::find_symbol(object->data1, word::symbol_of(word), true);
}

void select_word(const cell* object, const cell* word, cell* out) {
  int32_t index = word_index(object, word);
  if (index < 0)
    *out = cell{type::none, 0, 0, 0};
  else
    *out = context::values(object->data1)[index];
}

void set_values(const cell* object, const cell* value_in, bool any, bool only, bool some) {
  cell o = *object;
  cell v = *value_in;
  node_t ctx = o.data1;
  uint32_t n = context::size(ctx);
  uint32_t vt = type_of(&v);
  bool spread = !only && (vt == type::block || vt == type::object);
  // The source value of field i: from a block by position (none past its end), from an object
  // by name (absent: the field is left alone).
  auto source = [&](uint32_t i, cell* out) {
    if (vt == type::block) {
      if (static_cast<int32_t>(i) < block::rs_length(&v))
        *out = *(block::rs_head(&v) + i);
      else
        *out = cell{type::none, 0, 0, 0};
      return true;
    }
    int32_t k = context::find_symbol(v.data1, word::symbol_of(&context::words(ctx)[i]), true);
    if (k < 0) return false;
    *out = context::values(v.data1)[k];
    return true;
  };
  auto handler_field = [&](uint32_t i) {
    uint32_t s = symbol::resolve(word::symbol_of(&context::words(ctx)[i]));
    return s == symbol::resolve(words::sym.on_change) ||
           s == symbol::resolve(words::sym.on_deep_change);
  };
  if (spread && !some && !any) {
    for (uint32_t i = 0; i < n; ++i) {
      cell x;
      if (source(i, &x) && type_of(&x) == type::unset) {
        cell w;
        context::word_at(ctx, i, &w);
        fire(err::script_need_value, &w);
      }
    }
  }
  for (uint32_t i = 0; i < n; ++i) {
    cell x = v;
    if (spread && !source(i, &x)) continue;
    if (some && type_of(&x) == type::none) continue;
    x.header &= ~new_line_flag;
    cell w;
    context::word_at(ctx, i, &w);
    context::set_in(&w, &x, ctx, !handler_field(i));
  }
}

}  // namespace kaz::object

#include "core/object.h"

#include "core/actions.h"
#include "core/context.h"
#include "core/cycle_guard.h"
#include "core/fire.h"
#include "core/function.h"
#include "core/interpreter.h"
#include "core/natives.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "core/words.h"
#include "datatypes/block_storage.h"
#include "datatypes/registry.h"
#include "datatypes/string_storage.h"

namespace kaz::object {

namespace {

uint32_t class_counter = 100;

cell* values_of(const cell* o) { return context::values(o->data1); }

// Copies the series values of a context into fresh series (blocks deep), rebinding copied
// blocks and function bodies to the new context.
void copy_series_values(node_t ctx) {
  uint32_t n = context::size(ctx);
  for (uint32_t i = 0; i < n; ++i) {
    cell v = context::values(ctx)[i];
    uint32_t t = type_of(&v);
    if (t == type::block || t == type::paren || is_any_path(t)) {
      cell* copy = block::copy_cells(&v, true, true);
      cell c = *copy;
      stack::top--;
      context::bind_block(ctx, &c, true);
      context::values(ctx)[i] = c;
    } else if (is_any_string(t)) {
      cell c;
      string::make_at(&c, string::length_from_head(&v) + 1, t);
      string::append_string(c.data2, &v);
      context::values(ctx)[i] = c;
    } else if (t == type::function) {
      cell body = function::extra_cells(&v)[extra::body];
      if (type_of(&body) != type::block) continue;
      cell spec{type::block, 0, v.data2, 0};
      cell* bcopy = block::copy_cells(&body, true, true);
      cell b = *bcopy;
      context::bind_block(ctx, &b, true);
      cell f;
      function::make_value(&f, &spec, &b, 0, 0, v.header & ~type_mask);
      stack::top--;
      context::values(ctx)[i] = f;
    }
  }
}

cell* make(cell* proto, cell* spec, uint32_t t) {
  cell p = *proto;
  cell s = *spec;
  uint32_t base = stack::index_of(stack::top);
  cell* result = stack::reserve_cell();
  bool from_object = type_of(&p) == type::object;
  node_t ctx;
  if (from_object) {
    ctx = context::clone(p.data1, context::kind_object);
    uint32_t n = context::size(p.data1);
    for (uint32_t i = 0; i < n; ++i) context::values(ctx)[i] = context::values(p.data1)[i];
  } else {
    ctx = context::create(4, false, false, 0, context::kind_object);
  }
  result->header = type::object;
  result->data1 = ctx;
  result->data2 = from_object ? p.data2 : 0;
  result->data3 = 0;
  *context::owner_cell(ctx) = *result;
  if (type_of(&s) != type::block) fire(err::syntax_malconstruct, &s);
  bool grew = context::collect_set_words(ctx, &s);
  context::bind_block(ctx, &s, true);
  if (from_object) copy_series_values(ctx);
  // Re-read the owner: the context may have grown.
  *context::owner_cell(ctx) = *stack::at_index(base);
  {
    stack::open_native_frame(natives::body_name());
    flow f = interp::eval_block(&s, false);
    (void)f;  // exits out of an object body are not caught here
    stack::close_frame_dropping();
  }
  cell* r = stack::at_index(base);
  if (grew || !from_object) r->data2 = next_class_id();
  *context::owner_cell(ctx) = *r;
  uint32_t n = context::size(ctx);
  for (uint32_t i = 0; i < n; ++i) {
    context::words(ctx)[i].header &= ~context_flag::word_set;
    context::values(ctx)[i].header &= ~new_line_flag;
  }
  cell out = *r;
  stack::top = stack::at_index(base);
  *proto = out;
  (void)t;
  return proto;
}

int32_t serialize_body(cell* o, cell* buffer, bool only, bool all, bool flat, cell* part,
                       int32_t limit, int32_t indent) {
  cell obj = *o;
  cycle_guard guard(obj.data1);
  node_t out = buffer->data2;
  uint32_t n = context::size(obj.data1);
  bool first = true;
  for (uint32_t i = 0; i < n; ++i) {
    if (part && limit <= 0) break;
    cell w = context::words(obj.data1)[i];
    if (!all && (symbol::resolve(w.data2) == symbol::resolve(words::sym.on_change) ||
                 symbol::resolve(w.data2) == symbol::resolve(words::sym.on_deep_change)))
      continue;
    if (flat) {
      if (!first) {
        string::append_ascii(out, " ");
        limit -= 1;
      }
    } else {
      if (!first || indent > 0) {
        string::append_ascii(out, "\n");
        limit -= 1;
      }
      for (int32_t k = 0; k < indent; ++k) string::append_ascii(out, "    ");
      limit -= 4 * indent;
    }
    first = false;
    std::string_view name = symbol::spelling(w.data2);
    string::append_utf8(out, name);
    string::append_ascii(out, ": ");
    limit -= static_cast<int32_t>(name.size() + 2);
    cell v = context::values(obj.data1)[i];
    if (type_of(&v) == type::word) {
      string::append_ascii(out, "'");
      limit -= 1;
    }
    if (type_of(&v) == type::object && cycle_guard::contains(v.data1)) {
      string::append_ascii(out, "make object! [...]");
      limit -= 18;
      continue;
    }
    limit = actions::mold(&v, buffer, false, all, flat, part, limit, indent);
  }
  (void)only;
  return limit;
}

int32_t form(cell* o, cell* buffer, cell* part, int32_t limit) {
  return serialize_body(o, buffer, false, false, false, part, limit, 0);
}

int32_t mold(cell* o, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit,
             int32_t indent) {
  node_t out = buffer->data2;
  if (!only) {
    string::append_ascii(out, "make object! [");
    limit -= 14;
  }
  limit = serialize_body(o, buffer, only, all, flat, part, limit, only ? indent : indent + 1);
  if (!only) {
    if (!flat && context::size(o->data1) > 0) {
      string::append_ascii(out, "\n");
      for (int32_t k = 0; k < indent; ++k) string::append_ascii(out, "    ");
      limit -= 1 + 4 * indent;
    }
    string::append_ascii(out, "]");
    limit -= 1;
  }
  return limit;
}

cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t,
                bool, bool get, bool tail) {
  cell obj = *parent;
  cell e = *element;
  uint32_t et = type_of(&e);
  if (!(et == type::word || et == type::set_word || et == type::get_word ||
        et == type::lit_word))
    fire(err::script_invalid_path, path, &e);
  int32_t index = context::find_symbol(obj.data1, e.data2, true);
  if (value) {
    if (index < 0 || symbol::resolve(e.data2) == symbol::resolve(words::sym.self))
      fire(err::script_invalid_path, path, &e);
    cell w = context::words(obj.data1)[index];
    context::set_value(&w, value);
    return value;
  }
  if (index < 0 || type_of(values_of(&obj) + index) == type::unset) {
    if (get && tail) {
      stack::arguments->header = type::none;
      static cell none{type::none, 0, 0, 0};
      return &none;
    }
    if (tail) fire(err::script_invalid_path, path, &e);
    fire(err::script_unset_path, path, &e);
  }
  return values_of(&obj) + index;
}

int32_t compare(cell* a, cell* b, int32_t op) {
  if (type_of(b) != type::object) return -2;
  if (a->data1 == b->data1) return 0;
  if (op == 9) return -1;
  uint32_t na = context::size(a->data1), nb = context::size(b->data1);
  if (na != nb) return na < nb ? -1 : 1;
  cycle_guard ga(a->data1);
  if (!ga.entered()) return cycle_guard::contains(b->data1) ? 0 : -1;
  for (uint32_t i = 0; i < na; ++i) {
    uint32_t sa = symbol::resolve(context::words(a->data1)[i].data2);
    uint32_t sb = symbol::resolve(context::words(b->data1)[i].data2);
    if (sa != sb) return sa < sb ? -1 : 1;
    cell x = context::values(a->data1)[i];
    cell y = context::values(b->data1)[i];
    if (type_of(&x) != type_of(&y)) return type_of(&x) < type_of(&y) ? -1 : 1;
    int32_t r = actions::compare_direct(&x, &y, op);
    if (r != 0) return r;
  }
  return 0;
}

cell* select(cell* o, cell* key, cell*, bool, bool, bool, bool, cell*, cell*, bool, bool) {
  uint32_t kt = type_of(key);
  if (!(kt == type::word || kt == type::set_word || kt == type::get_word ||
        kt == type::lit_word)) {
    cell dt{type::datatype_, kt, 0, 0};
    fire(err::script_invalid_type, &dt);
  }
  int32_t index = context::find_symbol(o->data1, key->data2, true);
  cell* out = stack::arguments;
  if (index < 0)
    out->header = type::none;
  else
    *out = values_of(o)[index];
  return out;
}

}  // namespace

void make_empty_at(cell* c, uint32_t capacity) {
  node_t ctx = context::create(capacity, false, false, 0, context::kind_object);
  c->header = type::object;
  c->data1 = ctx;
  c->data2 = 0;
  c->data3 = 0;
  *context::owner_cell(ctx) = *c;
}

uint32_t next_class_id() { return ++class_counter; }

void set_field_with_hook(node_t ctx, uint32_t index, const cell* value) {
  context::values(ctx)[index] = *value;
}

void init() {
  registry::add(type::object, {.make = make,
                               .form = form,
                               .mold = mold,
                               .eval_path = eval_path,
                               .compare = compare,
                               .select = select});
}

}  // namespace kaz::object

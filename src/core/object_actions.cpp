// The action slots of object!: reflection, text, paths, comparison, copy, select, put, modify.
#include "core/actions.h"
#include "core/block_storage.h"
#include "core/context.h"
#include "core/object.h"
#include "core/object_internal.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "core/words.h"
#include "memory/cycle_guard.h"
#include "memory/cycle_stack.h"
#include "runtime/fire.h"

namespace kaz::object {

namespace {

const cell none_value{type::none, 0, 0, 0};

inline bool same_word(uint32_t a, uint32_t b) { return symbol::resolve(a) == symbol::resolve(b); }

inline bool is_handler(uint32_t sym) {
  return same_word(sym, words::sym.on_change) || same_word(sym, words::sym.on_deep_change);
}

inline bool is_word_key(uint32_t t) {
  return t == type::word || t == type::set_word || t == type::get_word || t == type::lit_word;
}

inline uint32_t text_length(node_t out) { return memory::buffer_of(out)->length(); }

void indentation(node_t out, int32_t levels) {
  for (int32_t k = 0; k < levels; ++k) string::append_ascii(out, "    ");
}

[[noreturn]] void invalid_arg(const cell* v) {
  cell a = *v;
  fire(err::script_invalid_arg, &a);
}

// Leaves a block built on the stack as the result in `out` and drops what was pushed.
cell* block_result(cell* out, uint32_t base) {
  *out = *stack::at_index(base);
  stack::top = stack::at_index(base);
  return out;
}

int32_t form(cell* o, cell* buffer, cell* part, int32_t limit) {
  return serialize_body(o, buffer, false, false, part, limit, 0);
}

int32_t mold(cell* o, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit,
             int32_t indent) {
  return mold_object(o, buffer, "make object! [", only, all, flat, part, limit, indent);
}

cell* put(cell* o, cell* key, cell* value, bool case_) {
  if (type_of(key) != type::word) {
    cell dt{type::datatype_, type_of(key), 0, 0};
    fire(err::script_invalid_key_type, &dt);
  }
  cell k = *key;
  cell v = *value;
  cell path = none_value;
  eval_path(o, &k, &v, &path, nullptr, nullptr, 0, case_, false, true);
  *o = v;
  return o;
}

cell* modify(cell* o, cell* field, cell* value, bool) {
  cell f = *field;
  if (!is_any_word(type_of(&f))) invalid_arg(&f);
  if (same_word(word::symbol_of(&f), words::sym.changed)) {
    if (type_of(value) != type::none) invalid_arg(value);
    context::clear_word_marks(o->data1);
    return o;
  }
  if (same_word(word::symbol_of(&f), words::sym.owner)) {
    own_fields(o, nullptr);
    return o;
  }
  if (same_word(word::symbol_of(&f), words::sym.owned)) {
    cell v = *value;
    if (type_of(&v) == type::none)
      disown_fields(o);
    else if (type_of(&v) == type::block)
      own_fields(o, &v);
    else
      invalid_arg(&v);
    return o;
  }
  invalid_arg(&f);
}

}  // namespace

int32_t serialize_body(const cell* object, cell* buffer, bool all, bool flat, cell* part,
                       int32_t limit, int32_t indent) {
  cell obj = *object;
  node_t ctx = obj.data1;
  cycle_guard guard(ctx);
  node_t out = series::node_of(buffer);
  bool first = true;
  for (uint32_t i = 0; i < context::size(ctx); ++i) {
    if (part && limit <= 0) break;
    cell w;
    context::word_at(ctx, i, &w);
    if (!all && is_handler(word::symbol_of(&w))) continue;
    uint32_t before = text_length(out);
    if (flat) {
      if (!first) string::append_ascii(out, " ");
    } else {
      if (!first || indent > 0) string::append_ascii(out, "\n");
      indentation(out, indent);
    }
    first = false;
    cell name{type::string, 0, symbol::name_string(word::symbol_of(&w)), 0};
    string::append_string(out, &name);
    string::append_ascii(out, ": ");
    cell v = context::values(ctx)[i];
    if (type_of(&v) == type::word) string::append_ascii(out, "'");
    limit -= static_cast<int32_t>(text_length(out) - before);
    v.header &= ~new_line_flag;
    limit = actions::mold(&v, buffer, false, all, flat, part, limit, indent);
  }
  return limit;
}

int32_t mold_object(const cell* object, cell* buffer, const char* opener, bool only, bool all,
                    bool flat, cell* part, int32_t limit, int32_t indent) {
  node_t out = series::node_of(buffer);
  if (cycle_stack::emit_marker(object, out, &limit, true)) return limit;
  if (only) return serialize_body(object, buffer, all, flat, part, limit, indent);
  uint32_t start = text_length(out);
  string::append_ascii(out, opener);
  limit -= static_cast<int32_t>(text_length(out) - start);
  uint32_t before = text_length(out);
  limit = serialize_body(object, buffer, all, flat, part, limit, indent + 1);
  uint32_t closing = text_length(out);
  if (!flat && closing > before) {
    string::append_ascii(out, "\n");
    indentation(out, indent);
  }
  string::append_ascii(out, "]");
  return limit - static_cast<int32_t>(text_length(out) - closing);
}

cell* reflect(cell* object, uint32_t field) {
  cell o = *object;
  node_t ctx = o.data1;
  uint32_t n = context::size(ctx);
  uint32_t base = stack::index_of(stack::top);
  if (same_word(field, words::sym.words) || same_word(field, words::sym.changed)) {
    bool changed_only = same_word(field, words::sym.changed);
    cell* b = block::push_only(n);
    for (uint32_t i = 0; i < n; ++i) {
      if (changed_only && !(context::words(ctx)[i].header & context_flag::word_set)) continue;
      cell w;
      context::word_at(ctx, i, &w);
      block::append_copy(b, &w);
    }
    return block_result(object, base);
  }
  if (same_word(field, words::sym.values)) {
    cell* b = block::push_only(n);
    for (uint32_t i = 0; i < n; ++i) {
      cell v = context::values(ctx)[i];
      block::append_copy(b, &v);
    }
    return block_result(object, base);
  }
  if (same_word(field, words::sym.body)) {
    cell* b = block::push_only(2 * n);
    for (uint32_t i = 0; i < n; ++i) {
      cell w;
      context::word_at(ctx, i, &w);
      w.header = type::set_word | new_line_flag;
      block::append_copy(b, &w);
      cell v = context::values(ctx)[i];
      v.header &= ~new_line_flag;
      if (type_of(&v) == type::word) set_type(&v, type::lit_word);
      if (type_of(&v) == type::path) set_type(&v, type::lit_path);
      block::append_copy(b, &v);
    }
    return block_result(object, base);
  }
  if (same_word(field, words::sym.class_)) {
    *object = cell{type::integer, 0, o.data2, 0};
  } else if (same_word(field, words::sym.owner)) {
    *object = cell{type::logic, context::header_cell(ctx)->header & context_flag::owned ? 1u : 0u, 0, 0};
  } else if (same_word(field, words::sym.events_q)) {
    *object = cell{type::logic, o.data3 ? 1u : 0u, 0, 0};
  } else {
    fire(err::internal_not_done);
  }
  return object;
}

const cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t, bool,
                bool get, bool tail) {
  cell o = *parent;
  node_t ctx = o.data1;
  if (!is_word_key(type_of(element))) fire(err::script_invalid_path, path, element);
  int32_t index = static_cast<int32_t>(word::index_of(element));
  if (word::context_of(element) != ctx || word::index_of(element) == context::unresolved) {
    index = context::find_symbol(ctx, word::symbol_of(element), true);
    if (index >= 0) {
      element->data1 = ctx;
      element->data3 = static_cast<uint32_t>(index);
    }
  }
  if (value) {
    if (index < 0 || same_word(word::symbol_of(element), words::sym.self))
      fire(err::script_invalid_path, path, element);
    cell w = *element;
    context::set_in(&w, value, ctx, true);
    return value;
  }
  if (index < 0 || type_of(context::values(ctx) + index) == type::unset) {
    if (get && tail) return const_cast<cell*>(&none_value);
    if (tail) fire(err::script_invalid_path, path, element);
    fire(err::script_unset_path, path, element);
  }
  return context::values(ctx) + index;
}

int32_t compare_objects(const cell* a_in, const cell* b_in, int32_t op) {
  cell a = *a_in;
  cell b = *b_in;
  if (a.data1 == b.data1) return 0;
  if (op == actions::op::same) return -1;
  if (cycle_guard::contains(a.data1)) return cycle_guard::contains(b.data1) ? 0 : -1;
  uint32_t na = context::size(a.data1), nb = context::size(b.data1);
  if (na != nb) return na < nb ? -1 : 1;
  // Both sides are marked: a cycle met on one side only is an order, on both an equality.
  cycle_guard guard(a.data1), guard_b(b.data1);
  for (uint32_t i = 0; i < na; ++i) {
    uint32_t sa = symbol::resolve(word::symbol_of(&context::words(a.data1)[i]));
    uint32_t sb = symbol::resolve(word::symbol_of(&context::words(b.data1)[i]));
    if (sa != sb) return sa < sb ? -1 : 1;
    cell x = context::values(a.data1)[i];
    cell y = context::values(b.data1)[i];
    uint32_t tx = type_of(&x), ty = type_of(&y);
    auto number = [](uint32_t t) { return t == type::integer || t == type::float_ || t == type::percent; };
    if (tx != ty && !(is_any_word(tx) && is_any_word(ty)) && !(number(tx) && number(ty)))
      return tx < ty ? -1 : 1;
    int32_t r = actions::compare_direct(&x, &y, op);
    if (r != 0) return r;
  }
  return 0;
}

cell* copy(cell* value, cell* result, cell* part, bool deep, cell* types) {
  if (part) {
    cell w;
    words::global_word(words::sym.part, &w);
    cell p = *part;
    fire(err::script_invalid_refine_arg, &w, &p);
  }
  copy_context(value, result, deep, types, true);
  return result;
}

cell* select(cell* o, cell* key, cell*, bool, bool, bool, bool, cell*, cell*, bool, bool) {
  if (!is_word_key(type_of(key))) {
    cell dt{type::datatype_, type_of(key), 0, 0};
    fire(err::script_invalid_type, &dt);
  }
  cell k = *key;
  select_word(o, &k, o);
  return o;
}

namespace {

int32_t compare(cell* a, cell* b, int32_t op) {
  if (type_of(b) != type::object) return -2;
  return compare_objects(a, b, op);
}

}  // namespace

void init() {
  install_deep_change_handler();
  registry::add(type::object, {.make = make,
                               .reflect = reflect,
                               .form = form,
                               .mold = mold,
                               .eval_path = eval_path,
                               .compare = compare,
                               .copy = copy,
                               .put = put,
                               .select = select,
                               .modify = modify});
}

}  // namespace kaz::object

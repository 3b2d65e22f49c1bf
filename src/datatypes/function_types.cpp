// The function family's datatypes: function!, routine!, native!, action!, op!.
#include <algorithm>
#include <iterator>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/context.h"
#include "core/function.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/typeset.h"
#include "core/word.h"
#include "core/words.h"
#include "datatypes/function_types.h"
#include "datatypes/integer.h"
#include "datatypes/series_types.h"
#include "runtime/fire.h"

namespace kaz::function_types {

namespace {

cell spec_block(const cell* f) { return cell{type::block, 0, f->data2, 0}; }

inline bool is_field(uint32_t field, uint32_t sym) {
  return symbol::resolve(field) == symbol::resolve(sym);
}

// reflect: the spec block itself; a function's or routine's body and its context's words bound
// to it; a native's or action's table index as its body (an op! answers for what it wraps).
cell* reflect(cell* f, uint32_t field) {
  cell v = *f;
  uint32_t t = type_of(&v);
  if (t == type::op) t = (v.header >> 16) & 0xFF;
  bool with_context = t == type::function || t == type::routine;
  if (is_field(field, words::sym.spec)) {
    *f = spec_block(&v);
  } else if (is_field(field, words::sym.body)) {
    if (with_context)
      *f = function::extra_cells(&v)[extra::body];
    else
      *f = cell{type::integer, 0, v.data1, 0};
  } else if (is_field(field, words::sym.words) && type_of(&v) != type::op && with_context) {
    node_t ctx = v.data1;
    uint32_t n = context::size(ctx);
    cell* b = block::push_only(n);
    for (uint32_t i = 0; i < n; ++i) {
      cell w;
      context::word_at(ctx, i, &w);
      block::append_copy(b, &w);
    }
    *f = *b;
    stack::top = b;
  } else {
    fire(err::internal_not_done);
  }
  return f;
}

int32_t form(cell* f, cell* buffer, cell*, int32_t limit) {
  const char* text = "?function?";
  switch (type_of(f)) {
    case type::routine: text = "?routine?"; break;
    case type::native: text = "?native?"; break;
    case type::action: text = "?action?"; break;
    case type::op: text = "?op?"; break;
    default: break;
  }
  string::append_ascii(series::node_of(buffer), text);
  return limit - static_cast<int32_t>(std::string_view(text).size());
}

int32_t mold_function(cell* f, cell* buffer, bool, bool all, bool flat, cell* part,
                      int32_t limit, int32_t indent) {
  node_t out = series::node_of(buffer);
  bool routine = type_of(f) == type::routine;
  string::append_ascii(out, routine ? "routine " : "func ");
  limit -= routine ? 8 : 5;
  cell spec = spec_block(f);
  limit = actions::mold(&spec, buffer, false, all, flat, part, limit, indent);
  cell body = function::extra_cells(f)[extra::body];
  // The body follows the spec directly; without a body block: " none" (a routine: its body).
  if (type_of(&body) == type::block) {
    limit = actions::mold(&body, buffer, false, all, flat, part, limit, indent);
  } else if (routine) {
    string::append_ascii(out, " ");
    limit = actions::mold(&body, buffer, false, all, flat, part, limit - 1, indent);
  } else {
    string::append_ascii(out, " none");
    limit -= 5;
  }
  return limit;
}

int32_t mold_native(cell* f, cell* buffer, bool, bool all, bool flat, cell* part, int32_t limit,
                    int32_t indent) {
  node_t out = series::node_of(buffer);
  uint32_t t = type_of(f);
  if (t == type::op) {
    uint32_t wrapped = (f->header >> 16) & 0xFF;
    string::append_ascii(out, "make op! ");
    limit -= 9;
    if (wrapped == type::function) {
      cell fn = function::extra_cells(f)[extra::op_function];
      return mold_function(&fn, buffer, false, all, flat, part, limit, indent);
    }
    string::append_ascii(out, "[");
    cell spec = spec_block(f);
    limit = actions::mold(&spec, buffer, false, all, flat, part, limit - 1, indent);
    string::append_ascii(out, "]");
    return limit - 1;
  }
  const char* open = t == type::native ? "make native! [" : "make action! [";
  string::append_ascii(out, open);
  cell spec = spec_block(f);
  limit = actions::mold(&spec, buffer, false, all, flat, part, limit - 14, indent);
  string::append_ascii(out, "]");
  return limit - 1;
}

int32_t compare(cell* a, cell* b, int32_t op) {
  if (type_of(a) != type_of(b)) return -2;
  switch (op) {
    case 0: case 1: case 2: case 7: case 8: case 9: case 12: {
      bool native_like = type_of(a) == type::native || type_of(a) == type::action;
      uint32_t x = native_like ? a->data1 : a->data3;
      uint32_t y = native_like ? b->data1 : b->data3;
      return x < y ? -1 : x > y ? 1 : 0;
    }
    default:
      return -2;
  }
}

/*
 * The arguments each table entry reads, taken from the first native! or action! made for it
 * (the library's own, at start-up). A later one whose spec gives fewer would have the entry
 * read past its arguments, and is refused.
 */
constexpr uint8_t arity_unknown = 0xFF;
uint8_t native_arity[121];
uint8_t action_arity[63];

/*
 * The typesets of the first arguments of those first values: the entry trusts them (a block it
 * evaluates, a series it walks). A later value's arguments admit no other datatype: its
 * descriptors keep only what both specs allow, so the call's own check refuses the rest.
 */
constexpr uint32_t checked_args = 8;
cell native_arg_types[121][checked_args];
cell action_arg_types[63][checked_args];

// Records the fixed arguments' typesets (the first value) or narrows a later value's to them;
// arguments past the entry's own `count` are not read by it.
void bound_arg_types(cell* f, cell* known, bool record, uint32_t count) {
  cell db = *function::descriptors(f);
  uint32_t k = 0;
  for (int32_t i = 0; i < block::rs_length(&db) && k < checked_args && k < count; ++i) {
    const cell* c = block::rs_head(&db) + i;
    if (type_of(c) != type::typeset) break;
    if (((c->header >> arg_kind::shift) & 3) == arg_kind::ret) continue;
    if (record) {
      known[k] = *c;
    } else {
      uint8_t* now = typeset::map_bytes(block::rs_head_rw(&db) + i);
      const uint8_t* was = typeset::map_bytes(&known[k]);
      for (uint32_t b = 0; b < 12; ++b) now[b] &= was[b];
    }
    ++k;
  }
}

// make native! / make action!: [spec index] with the index in the table and its entry present.
cell* make_native_like(cell* proto, cell* spec, uint32_t t) {
  cell dt{type::datatype_, t, 0, 0};
  if (type_of(spec) != type::block || block::rs_length(spec) != 2) fire(err::script_bad_make_arg, &dt, spec);
  cell s = *block::rs_head(spec);
  cell index = *(block::rs_head(spec) + 1);
  if (type_of(&s) != type::block || type_of(&index) != type::integer)
    fire(err::script_bad_make_arg, &dt, spec);
  uint32_t i = static_cast<uint32_t>(integer_type::value_of(&index));
  native_entry e = t == type::native ? function::native_table_entry(i) : function::action_table_entry(i);
  if (!e) fire(err::script_bad_make_arg, &dt, spec);
  cell made;
  function::make_native(&made, t, &s, i);
  cell* held = stack::push(&made);
  uint32_t n = function::arity(held);
  uint8_t& needed = (t == type::native ? native_arity : action_arity)[i];
  cell* known = (t == type::native ? native_arg_types : action_arg_types)[i];
  if (needed == arity_unknown) {
    needed = static_cast<uint8_t>(n < arity_unknown ? n : arity_unknown - 1);
    bound_arg_types(held, known, true, n);
  } else if (n < needed) {
    fire(err::script_bad_make_arg, &dt, spec);
  } else {
    bound_arg_types(held, known, false, needed);
  }
  *proto = *held;
  stack::top--;
  return proto;
}

// make function! [spec body].
cell* make_function(cell* proto, cell* spec, uint32_t) {
  if (type_of(spec) != type::block || block::rs_length(spec) < 2) fire(err::script_bad_func_def, spec);
  cell s = *block::rs_head(spec);
  cell b = *(block::rs_head(spec) + 1);
  if (type_of(&s) != type::block || type_of(&b) != type::block) fire(err::script_bad_func_def, spec);
  uint32_t flags = function::validate_spec(&s);
  function::make_value(proto, &s, &b, 0, 0, flags);
  return proto;
}

// make routine! [spec index]: declares a routine of the routines table while the library's top
// level runs; at any other time it is function!'s make.
cell* make_routine(cell* proto, cell* spec, uint32_t t) {
  if (function::declaring_routines && type_of(spec) == type::block && block::rs_length(spec) == 2) {
    cell s = *block::rs_head(spec);
    cell index = *(block::rs_head(spec) + 1);
    if (type_of(&s) == type::block && type_of(&index) == type::integer &&
        function::routine_table_entry(static_cast<uint32_t>(integer_type::value_of(&index)))) {
      function::make_routine(proto, &s, static_cast<uint32_t>(integer_type::value_of(&index)));
      return proto;
    }
    cell dt{type::datatype_, t, 0, 0};
    fire(err::script_bad_make_arg, &dt, spec);
  }
  return make_function(proto, spec, t);
}

// make op!: any two-argument function whose first argument is a plain word.
cell* make_op(cell* proto, cell* spec, uint32_t) {
  cell f = *spec;
  uint32_t t = type_of(&f);
  if (!function::is_any_function(t) || t == type::op) {
    cell dt{type::datatype_, t, 0, 0};
    fire(err::script_invalid_type, &dt);
  }
  cell s = spec_block(&f);
  int32_t count = 0;
  bool plain_seen = false;
  bool ok = true;
  for (int32_t i = 0; i < block::rs_length(&s) && ok; ++i) {
    const cell* v = block::rs_head(&s) + i;
    uint32_t vt = type_of(v);
    if (vt == type::word) {
      ++count;
      plain_seen = true;
    } else if (vt == type::lit_word || vt == type::get_word) {
      ++count;
      if (!plain_seen) ok = false;
    } else if (vt == type::set_word) {
      break;
    } else if (vt == type::refinement) {
      std::string_view n = symbol::spelling(word::symbol_of(v));
      if (n == "local" || n == "extern") break;
      ok = false;
    }
  }
  if (!ok || count != 2) fire(err::script_bad_op_spec);
  *proto = f;
  proto->header = (f.header & ~0x00FF00FFu) | type::op | (t << 16);
  if (t == type::function || t == type::routine)
    function::extra_cells_rw(&f)[extra::op_function] = f;
  return proto;
}

}  // namespace

void init() {
  std::fill(std::begin(native_arity), std::end(native_arity), arity_unknown);
  std::fill(std::begin(action_arity), std::end(action_arity), arity_unknown);
  registry::add(type::native, {.make = make_native_like,
                                .reflect = reflect,
                                .form = form,
                                .mold = mold_native,
                                .compare = compare});
  registry::add(type::action,
                {.make = make_native_like, .form = form, .mold = mold_native, .compare = compare},
                inherited(slot::reflect));
  registry::add(type::op, {.make = make_op, .form = form, .mold = mold_native, .compare = compare},
                inherited(slot::reflect));
}

void init_function() {
  registry::add(type::function, {.make = make_function,
                                  .reflect = reflect,
                                  .form = form,
                                  .mold = mold_function,
                                  .compare = compare});
  registry::add(type::routine,
                {.make = make_routine, .form = form, .mold = mold_function, .compare = compare},
                inherited(slot::reflect));
}

}  // namespace kaz::function_types

// The word family: word!, set-word!, lit-word!, get-word!, refinement! and issue!. One cell
// layout (context, symbol, index) and one implementation; they differ in their mold.
#include "core/context.h"
#include "core/fire.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "core/words.h"
#include "datatypes/registry.h"
#include "datatypes/string_storage.h"
#include "datatypes/word_types.h"

namespace kaz::word_type {

namespace {

int32_t form(cell* v, cell* buffer, cell*, int32_t limit) {
  cell name{type::string, 0, symbol::name_string(v->data2), 0};
  string::append_string(buffer->data2, &name);
  return limit - static_cast<int32_t>(string::length_from_head(&name));
}

int32_t mold(cell* v, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  node_t out = buffer->data2;
  switch (type_of(v)) {
    case type::lit_word:
      string::append_ascii(out, "'");
      --limit;
      break;
    case type::get_word:
      string::append_ascii(out, ":");
      --limit;
      break;
    case type::refinement:
      string::append_ascii(out, "/");
      --limit;
      break;
    case type::issue:
      string::append_ascii(out, "#");
      --limit;
      break;
    default:
      break;
  }
  limit = form(v, buffer, part, limit);
  if (type_of(v) == type::set_word) {
    string::append_ascii(out, ":");
    --limit;
  }
  return limit;
}

int32_t compare_names(cell* a, cell* b, int32_t op) {
  cell x{type::string, 0, symbol::name_string(a->data2), 0};
  cell y{type::string, 0, symbol::name_string(b->data2), 0};
  return string::compare_strings(&x, &y, op, false);
}

int32_t compare(cell* a, cell* b, int32_t op) {
  uint32_t ta = type_of(a), tb = type_of(b);
  if (!is_any_word(tb)) return -2;
  if ((tb == type::issue) != (ta == type::issue)) return -2;
  switch (op) {
    case 0: case 1: case 12:
      return symbol::resolve(a->data2) == symbol::resolve(b->data2) ? 0 : 1;
    case 2:
      return ta == tb && a->data2 == b->data2 ? 0 : 1;
    case 9:
      return ta == tb && a->data2 == b->data2 && a->data1 == b->data1 ? 0 : 1;
    case 10:
      if ((ta == type::word && tb == type::lit_word) || (ta == type::lit_word && tb == type::word))
        return a->data2 == b->data2 ? 0 : 1;
      return ta == tb && a->data2 == b->data2 ? 0 : 1;
    case 11:
      if ((ta == type::word && tb == type::lit_word) || (ta == type::lit_word && tb == type::word))
        return symbol::resolve(a->data2) == symbol::resolve(b->data2) ? 0 : 1;
      return ta == tb && symbol::resolve(a->data2) == symbol::resolve(b->data2) ? 0 : 1;
    default:
      return compare_names(a, b, op);
  }
}

// Converting between word types keeps the binding; a datatype gives its name's global word, a
// logic its word true or false.
cell* make(cell* proto, cell* spec, uint32_t t) {
  uint32_t st = type_of(spec);
  if (st >= type::word && st <= type::get_word) {
    *proto = *spec;
  } else if (st == type::datatype_) {
    context::intern_global(symbol::make(registry::name(spec->data1)), proto);
  } else if (st == type::logic) {
    context::intern_global(spec->data1 ? words::sym.true_ : words::sym.false_, proto);
  } else if (st == type::refinement || st == type::issue) {
    *proto = *spec;
    proto->data1 = context::global;
    context::bind_word(context::global, proto);
  } else {
    cell dt{type::datatype_, t, 0, 0};
    fire(err::script_bad_to_arg, &dt, spec);
  }
  set_type(proto, t);
  proto->header &= ~new_line_flag;
  return proto;
}

void index_q() {
  cell* w = stack::arguments;
  if (w->data3 == 0xFFFFFFFF) {
    w->header = type::none;
  } else {
    uint32_t i = w->data3 + 1;
    w->header = type::integer;
    w->data2 = i;
  }
}

}  // namespace

void init() {
  registry::add(type::symbol, {.compare = compare});
  action_row own{.make = make, .to = make, .form = form, .mold = mold, .compare = compare,
                 .index_q = index_q};
  registry::add(type::word, own);
  registry::add(type::lit_word, {.mold = mold}, inherited::all_but(slot::mold));
  registry::add(type::set_word, {.mold = mold}, inherited::all_but(slot::mold));
  registry::add(type::get_word, {.mold = mold}, inherited::all_but(slot::mold));
  registry::add(type::refinement, {.mold = mold}, inherited::all_but(slot::mold));
}

void init_issue() {
  registry::add(type::issue, {.make = make, .to = make, .mold = mold, .compare = compare},
                inherited(slot::form, slot::index_q));
}

}  // namespace kaz::word_type

// The word family: word!, set-word!, lit-word!, get-word!, refinement! and issue!. One cell
// layout (context, symbol, index) and one implementation; they differ in their mold.
#include <string>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/error.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/words.h"
#include "datatypes/scalar_types.h"
#include "datatypes/simple_types.h"
#include "datatypes/text_loader.h"
#include "datatypes/word_types.h"
#include "runtime/fire.h"

namespace kaz::word_type {

namespace {

int32_t form(cell* v, cell* buffer, cell*, int32_t limit) {
  cell name{type::string, 0, symbol::name_string(v->data2), 0};
  string::append_string(series::node_of(buffer), &name);
  return limit - static_cast<int32_t>(string::length_from_head(&name));
}

int32_t mold(cell* v, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  node_t out = series::node_of(buffer);
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

// The text of a string! or char! value as UTF-8.
std::string text_of(const cell* v) {
  if (type_of(v) == type::char_) {
    cell s;
    string::make_at(&s, 1);
    string::append_code_point(series::node_of(&s), char_type::code_of(v));
    return string::to_utf8(&s);
  }
  return string::to_utf8(v);
}

// Loads text as one value; answers false when it is not one any-word (a syntax error included).
bool load_word(const std::string& text, cell* out) {
  stack::saved_state saved = stack::save();
  bool ok = false;
  try {
    cell* b = stack::reserve_cell();
    text_loader::load_text_block(text, b);
    if (block::rs_length(b) == 1 && is_any_word(type_of(block::rs_head(b)))) {
      *out = *block::rs_head(b);
      ok = true;
    }
  } catch (const language_error&) {
    error::in_flight.header = type::unset;
  }
  stack::unwind_to(saved);
  return ok;
}

// The datatype the lexer reads the symbol's spelling as.
uint32_t scan_name(uint32_t symbol) {
  std::string text(symbol::spelling(symbol));
  cell t{type::none, 0, 0, 0};
  lexer::scan_options options;
  options.scan = true;
  text_loader::scan_utf8(text, options, &t);
  return type_of(&t) == type::datatype_ ? datatype_type::id_of(&t) : 0;
}

[[noreturn]] void bad_to_arg(uint32_t t, const cell* v) {
  cell dt{type::datatype_, t, 0, 0};
  cell value = *v;
  fire(err::script_bad_to_arg, &dt, &value);
}

/*
 * make and to of the word types (the target type given). Between word types the cell is only
 * retyped, so the binding stays; refinements and issues are scanned and must read as a word;
 * text is loaded and must give a word; a datatype gives its name's global word, a logic `true`
 * or `false`.
 */
cell* make(cell* proto, cell* spec_in, uint32_t t) {
  cell spec = *spec_in;
  uint32_t st = type_of(&spec);
  cell out;
  if (st >= type::word && st <= type::get_word) {
    out = spec;
  } else if (st == type::refinement || st == type::issue) {
    uint32_t scanned = scan_name(spec.data2);
    if (scanned < type::word || scanned > type::get_word) bad_to_arg(t, &spec);
    context::intern_global(spec.data2, &out);
  } else if (st == type::string || st == type::char_) {
    if (!load_word(text_of(&spec), &out)) fire(err::script_invalid_chars);
  } else if (st == type::datatype_) {
    context::intern_global(symbol::make(registry::name(datatype_type::id_of(&spec))), &out);
  } else if (st == type::logic) {
    context::intern_global(logic_type::value_of(&spec) ? words::sym.true_ : words::sym.false_, &out);
  } else {
    bad_to_arg(t, &spec);
  }
  out.header &= ~new_line_flag;
  set_type(&out, t);
  *proto = out;
  return proto;
}

// issue!: text is taken as it stands (no scanning); words are retyped.
cell* make_issue(cell* proto, cell* spec_in, uint32_t t) {
  cell spec = *spec_in;
  uint32_t st = type_of(&spec);
  if (st == type::string || st == type::char_) {
    uint32_t sym = symbol::make(text_of(&spec));
    *proto = cell{type::issue, context::global, sym, context::unresolved};
    return proto;
  }
  if (is_any_word(st)) {
    *proto = spec;
    proto->header = type::issue;
    return proto;
  }
  return make(proto, spec_in, t);
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
  registry::add(type::issue, {.make = make_issue, .to = make_issue, .mold = mold, .compare = compare},
                inherited(slot::form, slot::index_q));
}

}  // namespace kaz::word_type

// paren! and the path family: blocks that differ in how they are made, formed and molded.
#include "core/actions.h"
#include "core/block_storage.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "datatypes/block_actions.h"
#include "datatypes/series_common.h"
#include "datatypes/series_types.h"
#include "memory/cycle_guard.h"
#include "memory/cycle_stack.h"
#include "runtime/fire.h"

namespace kaz::path_types {

void init_cell(cell* c, uint32_t capacity) { block::init_cell(c, capacity, type::path); }

cell* push_retyped(cell* c) {
  set_type(c, type::path);
  return stack::push(c);
}

namespace {

// make: a number gives an empty path with that much room, a block-like value a copy.
cell* make(cell* proto, cell* spec, uint32_t t) {
  uint32_t st = type_of(spec);
  if (st == type::integer || st == type::float_ || st == type::percent) {
    int32_t n = series::to_int_arg(spec);
    init_cell(proto, n < 1 ? 1 : static_cast<uint32_t>(n));
    proto->header = t;
    return proto;
  }
  if (!is_any_block(st)) {
    cell dt{type::datatype_, t, 0, 0};
    cell s = *spec;
    fire(err::script_bad_make_arg, &dt, &s);
  }
  return block_type::to(proto, spec, t);
}

// to: an object!, map! or typeset! becomes the path's one value; the rest as to block!.
cell* to(cell* proto, cell* spec, uint32_t t) {
  uint32_t st = type_of(spec);
  if (st == type::object || st == type::map || st == type::typeset) {
    cell v = *spec;
    init_cell(proto, 1);
    block::append_copy(proto, &v);
  } else {
    block_type::to(proto, spec, t);
  }
  proto->header = t;
  return proto;
}

// The values joined by "/", formed or molded; a path met again inside itself is "...".
int32_t walk(cell* p, cell* buffer, bool mold, bool all, bool flat, cell* part, int32_t limit) {
  cell path = *p;
  if (cycle_stack::emit_marker(&path, series::node_of(buffer), &limit, mold)) return limit;
  cycle_guard guard(path.data2);
  for (int32_t i = 0; i < block::rs_length(&path); ++i) {
    if (i > 0) {
      string::append_ascii(series::node_of(buffer), "/");
      --limit;
    }
    cell v = *(block::rs_head(&path) + i);
    limit = mold ? actions::mold(&v, buffer, false, all, flat, part, limit, 0)
                 : actions::form(&v, buffer, part, limit);
    if (part && limit < 1) break;
  }
  return limit;
}

int32_t form(cell* p, cell* buffer, cell* part, int32_t limit) {
  return walk(p, buffer, false, false, false, part, limit);
}

// lit-path! molds with a leading "'", get-path! with a leading ":", set-path! with a trailing
// ":", whatever /only says.
int32_t mold(cell* p, cell* buffer, bool, bool all, bool flat, cell* part, int32_t limit,
             int32_t) {
  uint32_t t = type_of(p);
  if (t == type::lit_path || t == type::get_path) {
    string::append_ascii(series::node_of(buffer), t == type::lit_path ? "'" : ":");
    --limit;
  }
  limit = walk(p, buffer, true, all, flat, part, limit);
  if (t == type::set_path) {
    string::append_ascii(series::node_of(buffer), ":");
    --limit;
  }
  return limit;
}

cell* copy(cell* p, cell* result, cell* part, bool deep, cell* types) {
  return block_type::copy(p, result, part, deep, types);
}

// A paren molds its values as a block does, between parentheses unless /only.
int32_t mold_paren(cell* b, cell* buffer, bool only, bool all, bool flat, cell* part,
                   int32_t limit, int32_t indent) {
  cell paren = *b;
  if (cycle_stack::emit_marker(&paren, series::node_of(buffer), &limit, true)) return limit;
  if (!only) {
    string::append_ascii(series::node_of(buffer), "(");
    --limit;
  }
  limit = block_type::mold_cells(&paren, buffer, only, all, flat, part, limit, indent);
  if (!only) {
    string::append_ascii(series::node_of(buffer), ")");
    --limit;
  }
  return limit;
}

}  // namespace

void init_paren() {
  registry::add(type::paren, {.mold = mold_paren}, inherited::all_but(slot::mold, slot::trim));
}

void init_paths() {
  registry::add(type::path, {.make = make, .to = to, .form = form, .mold = mold, .copy = copy},
                inherited::all_but(slot::make, slot::to, slot::form, slot::mold, slot::copy,
                                   slot::random, slot::sort, slot::trim));
  for (uint32_t t : {type::lit_path, type::set_path, type::get_path})
    registry::add(t, {.mold = mold}, inherited::all_but(slot::mold));
}

}  // namespace kaz::path_types

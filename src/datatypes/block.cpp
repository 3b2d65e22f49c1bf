// block!: the language's one container of values. Conversion, text output, comparison, path
// access and the small modifying actions; searching, insertion, sorting and the set operations
// have files of their own.
#include "core/actions.h"
#include "core/block_storage.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/typeset.h"
#include "core/word.h"
#include "datatypes/block_actions.h"
#include "datatypes/integer.h"
#include "datatypes/series_common.h"
#include "datatypes/series_types.h"
#include "datatypes/simple_types.h"
#include "datatypes/text_loader.h"
#include "memory/cycle_guard.h"
#include "memory/cycle_stack.h"
#include "runtime/fire.h"

namespace kaz::block_type {

// ---------------------------------------------------------------------------------------------
// make and to.

namespace {

[[noreturn]] void bad_make(uint32_t target, const cell* spec) {
  cell dt{type::datatype_, target, 0, 0};
  cell s = *spec;
  fire(err::script_bad_make_arg, &dt, &s);
}

// The body of an object! or map!, as their reflect slot gives it.
void body_of(cell* proto, const cell* spec) {
  cell v = *spec;
  slot_fn::reflect f = registry::row(type_of(&v)).reflect;
  if (!f) actions::unsupported(&v, slot::reflect);
  cell* held = stack::push(&v);
  cell body = *f(held, symbol::make("body"));
  stack::drop_values(1);
  *proto = body;
}

// A vector's elements from its head as values of its element type.
void vector_to_block(cell* proto, const cell* spec) {
  cell v = *spec;
  uint32_t n = series::length_from_head(&v);
  cell* b = block::push_only(n ? n : 1);
  for (uint32_t i = 0; i < n; ++i) {
    const cell* e = series::element_at(&v, v.data1 + i);
    cell value = *e;
    stack::drop_values(1);
    block::append_copy(b, &value);
  }
  *proto = *b;
  stack::drop_values(1);
}

void typeset_to_block(cell* proto, const cell* spec) {
  cell ts = *spec;
  cell* b = block::push_only(8);
  for (uint32_t id = 1; id <= registry::highest_id(); ++id)
    if (typeset::has(&ts, id)) datatype_type::append_to_block(b, id);
  *proto = *b;
  stack::drop_values(1);
}

// Conversions make and to share; answers false for a source they do not cover.
bool convert(cell* proto, const cell* spec) {
  switch (type_of(spec)) {
    case type::object:
    case type::map:
      body_of(proto, spec);
      return true;
    case type::vector:
      vector_to_block(proto, spec);
      return true;
    default:
      if (!is_any_block(type_of(spec))) return false;
      cell s = *spec;
      *proto = *block::copy_cells(&s, false, false);
      stack::drop_values(1);
      return true;
  }
}

}  // namespace

cell* make(cell* proto, cell* spec, uint32_t t) {
  uint32_t st = type_of(spec);
  if (st == type::integer || st == type::float_) {
    int32_t n = series::to_int_arg(spec);
    block::init_cell(proto, n < 1 ? 1 : static_cast<uint32_t>(n));
  } else if (!convert(proto, spec)) {
    bad_make(t, spec);
  }
  proto->header = t;
  proto->data3 = 0;
  return proto;
}

cell* to(cell* proto, cell* spec, uint32_t t) {
  uint32_t st = type_of(spec);
  if (st == type::typeset) {
    typeset_to_block(proto, spec);
  } else if (st == type::string) {
    cell text = *spec;
    cell* loaded = stack::reserve_cell();
    text_loader::transcode(&text, -1, {}, loaded);
    *proto = *loaded;
    stack::drop_values(1);
  } else if (!convert(proto, spec)) {
    cell v = *spec;
    block::init_cell(proto, 1);
    block::append_copy(proto, &v);
  }
  proto->header = t;
  proto->data3 = 0;
  return proto;
}

// ---------------------------------------------------------------------------------------------
// form and mold.

namespace {

// Whether the text ends in a tab, a line feed or a carriage return (not when empty).
bool ends_with_break(node_t out) {
  series_buffer* s = memory::buffer_of(out);
  if (s->used_bytes() == 0) return false;
  uint32_t unit = s->unit();
  uint32_t c = string::get_char(s->tail_ptr() - unit, unit);
  return c == '\t' || c == '\n' || c == '\r';
}

void indent_by(node_t out, int32_t indent, int32_t* limit) {
  for (int32_t k = 0; k < indent; ++k) string::append_ascii(out, "    ");
  *limit -= 4 * indent;
}

}  // namespace

int32_t form(cell* b, cell* buffer, cell* part, int32_t limit) {
  cell blk = *b;
  if (cycle_stack::emit_marker(&blk, series::node_of(buffer), &limit, false)) return limit;
  cycle_guard guard(blk.data2);
  for (int32_t i = 0; i < block::rs_length(&blk); ++i) {
    if (part && limit < 1) break;
    if (i > 0 && !ends_with_break(series::node_of(buffer))) {
      string::append_ascii(series::node_of(buffer), " ");
      --limit;
    }
    cell v = *(block::rs_head(&blk) + i);
    limit = actions::form(&v, buffer, part, limit);
  }
  return limit;
}

/*
 * The layout of every block-like mold. A value that carries the new-line marker starts a new
 * line: when it is the first value, the block becomes multi-line (its values indented one
 * level more, its closing bracket on a line of its own); later marked values break lines at
 * the current indentation. /only leaves out the first line break; /flat puts everything on one
 * line.
 */
int32_t mold_cells(cell* b, cell* buffer, bool only, bool all, bool flat, cell* part,
                   int32_t limit, int32_t indent) {
  cell blk = *b;
  node_t out = series::node_of(buffer);
  cycle_guard guard(blk.data2);
  bool multi = false;
  for (int32_t i = 0; i < block::rs_length(&blk); ++i) {
    if (part && limit < 1) return limit;
    cell v = *(block::rs_head(&blk) + i);
    if (!flat && (v.header & new_line_flag)) {
      if (!only && i == 0) {
        ++indent;
        multi = true;
      }
      if (!(only && i == 0)) {
        string::append_ascii(out, "\n");
        --limit;
      }
      indent_by(out, indent, &limit);
    } else if (i > 0) {
      string::append_ascii(out, " ");
      --limit;
    }
    limit = actions::mold(&v, buffer, false, all, flat, part, limit, indent);
  }
  if (multi) {
    --indent;
    string::append_ascii(out, "\n");
    --limit;
    indent_by(out, indent, &limit);
  }
  return limit;
}

int32_t mold(cell* b, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit,
             int32_t indent) {
  cell blk = *b;
  if (cycle_stack::emit_marker(&blk, series::node_of(buffer), &limit, true)) return limit;
  if (!only) {
    string::append_ascii(series::node_of(buffer), "[");
    --limit;
  }
  limit = mold_cells(&blk, buffer, only, all, flat, part, limit, indent);
  if (!only) {
    string::append_ascii(series::node_of(buffer), "]");
    --limit;
  }
  return limit;
}

// ---------------------------------------------------------------------------------------------
// compare.

namespace {

bool number(uint32_t t) { return t == type::integer || t == type::float_ || t == type::percent; }

int32_t order(int32_t x, int32_t y) { return x < y ? -1 : x > y ? 1 : 0; }

bool series_type(uint32_t t) { return is_any_block(t) || is_any_string(t) || is_buffer_type(t); }

}  // namespace

int32_t type_order(uint32_t a, uint32_t b) {
  bool sa = series_type(a), sb = series_type(b);
  if (sa != sb) return sa ? 1 : -1;
  return order(static_cast<int32_t>(a), static_cast<int32_t>(b));
}

int32_t compare_cells(cell* a, cell* b, int32_t op) {
  cell x = *a, y = *b;
  if (x.data2 == y.data2 && x.data1 == y.data1) return 0;
  if (op == actions::op::same) return -1;
  if (cycle_stack::contains(x.data2)) return cycle_stack::contains(y.data2) ? 0 : -1;
  auto lx = static_cast<int32_t>(block::length_from_head(&x));
  auto ly = static_cast<int32_t>(block::length_from_head(&y));
  if (lx != ly && (op <= 2 || op == 10 || op == 11 || op == 12)) return 1;
  if (lx == 0 || ly == 0) return order(lx, ly);
  cycle_guard gx(x.data2);
  cycle_guard gy(y.data2);
  for (int32_t i = 0; i < lx && i < ly; ++i) {
    if (i >= block::rs_length(&x) || i >= block::rs_length(&y)) break;  // changed meanwhile
    cell p = *(block::rs_head(&x) + i);
    cell q = *(block::rs_head(&y) + i);
    uint32_t tp = type_of(&p), tq = type_of(&q);
    if (tp != tq && !(is_any_word(tp) && is_any_word(tq)) && !(number(tp) && number(tq)))
      return type_order(tp, tq);
    int32_t r = actions::compare_direct(&p, &q, op);
    if (r != 0) return r;
  }
  return order(lx, ly);
}

// Blocks of different datatypes compare only as path! and lit-path! under codes 10 and 11.
int32_t compare(cell* a, cell* b, int32_t op) {
  uint32_t ta = type_of(a), tb = type_of(b);
  if (ta != tb) {
    bool paths = (ta == type::path && tb == type::lit_path) ||
                 (ta == type::lit_path && tb == type::path);
    if (!(paths && (op == 10 || op == 11))) return -2;
  }
  return compare_cells(a, b, op);
}

// ---------------------------------------------------------------------------------------------
// Paths: an integer picks and pokes; a word selects the value after it; anything else selects
// the value after its first occurrence, and is found to set the value after it.

const cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t,
                bool case_, bool, bool) {
  cell el = *element;
  if (type_of(&el) == type::integer) {
    auto index = integer_type::value_of(&el);
    if (!value) return series::pick(parent, index, &el);
    return series::poke(parent, index, value, &el);
  }
  if (!value) {
    if (type_of(&el) == type::word && type_of(parent) != type::hash) {
      const cell* r = block::select_word(parent, word::symbol_of(&el), case_);
      return r ? r : &none_value;
    }
    search how;
    how.only = true;
    how.op = case_ ? actions::op::strict_equal : actions::op::find;
    uint32_t length;
    int64_t at = locate(parent, &el, how, &length);
    if (at < 0 || at + 1 >= block::absolute_length(parent)) return &none_value;
    return block::rs_abs_at(parent, static_cast<uint32_t>(at + 1));
  }
  // The same search as the read above: the element is one value (a block is not a sequence
  // to match), so that a set writes the slot a read of the same path gives.
  search how;
  how.only = true;
  how.op = case_ ? actions::op::strict_equal : actions::op::find;
  uint32_t length;
  int64_t at = locate(parent, &el, how, &length);
  if (at < 0) {
    cell p = path ? *path : *parent;
    fire(err::script_bad_path_set, &p, &el);
  }
  cell found = *parent;
  found.data1 = static_cast<uint32_t>(at);
  return series::poke(&found, 2, value, nullptr);
}

// ---------------------------------------------------------------------------------------------
// copy, take, swap, trim.

namespace {

bool copied_deep(uint32_t t) {
  return is_any_block(t) || is_any_string(t) || is_buffer_type(t);
}

// Replaces a series value by its deep copy (the copy action with /deep).
void deep_copy_value(cell* v) {
  slot_fn::copy f = registry::row(type_of(v)).copy;
  if (!f) return;
  cell source = *v;
  cell* fresh = stack::reserve_cell();
  f(&source, fresh, nullptr, true, nullptr);
  cell made = *fresh;
  stack::drop_values(1);
  made.header = (source.header & ~type_mask) | type_of(&made);
  *v = made;
}

// Every series value among a block's cells replaced by its deep copy.
void deep_copy_cells(cell* b) {
  cell blk = *b;
  for (uint32_t i = 0; i < block::absolute_length(&blk); ++i) {
    cell v = *block::rs_abs_at(&blk, i);
    if (!copied_deep(type_of(&v))) continue;
    deep_copy_value(&v);
    if (i < block::absolute_length(&blk)) *block::rs_abs_at_rw(&blk, i) = v;
  }
}

}  // namespace

cell* copy(cell* series, cell* result, cell* part, bool deep, cell* types) {
  cell source = *series;
  series::copy(&source, result, part, false, nullptr);
  if (!deep && !types) return result;
  if (type_of(&source) == type::hash) set_type(result, type::block);
  cycle_guard guard(source.data2);
  if (deep && !guard.entered()) {
    cycle_stack::reset();
    fire(err::internal_no_cycle);
  }
  cell* held = stack::push(result);  // seen by the collector while the copies are made
  if (types)
    block::copy_nested_of_types(held, 0, block::absolute_length(held), 1, deep, types);
  else
    deep_copy_cells(held);
  *result = *held;
  stack::drop_values(1);
  return result;
}

cell* take(cell* series, cell* part, bool deep, bool last) {
  if (!part) {
    cell one;
    if (!series::take_one(series, last, &one)) {
      series->header = type::none;
      return series;
    }
    if (deep && copied_deep(type_of(&one))) deep_copy_value(&one);
    *series = one;
    return series;
  }
  cell* taken = series::take(series, part, deep, last);
  if (deep && is_any_block(type_of(taken))) deep_copy_cells(taken);
  return taken;
}

cell* swap(cell* series1, cell* series2) {
  if (!is_any_block(type_of(series2))) {
    cell v = *series2;
    fire(err::script_invalid_arg, &v);
  }
  if (block::rs_length(series1) <= 0 || block::rs_length(series2) <= 0) return series1;
  cell a = *block::rs_head(series1), b = *block::rs_head(series2);
  auto ia = static_cast<int32_t>(series1->data1), ib = static_cast<int32_t>(series2->data1);
  bool owned1 = series::owned_before(series1, series::change::swap, &b, ia, 1);
  bool owned2 = series::owned_before(series2, series::change::swap, &a, ib, 1);
  // Re-read: an owner's handler may have run code.
  if (block::rs_length(series1) > 0 && block::rs_length(series2) > 0) {
    a = *block::rs_head(series1);
    b = *block::rs_head(series2);
    *block::rs_head_rw(series1) = b;
    *block::rs_head_rw(series2) = a;
    if (series1->data2 != series2->data2) {
      block::hash_spliced(series1, series1->data1, 1, 1);
      block::hash_spliced(series2, series2->data1, 1, 1);
    } else {
      block::hash_swapped(series1, series1->data1, series2->data1);
    }
  }
  if (owned1) series::owned_after(series1, series::change::swap, &b, ia, 1);
  if (owned2) series::owned_after(series2, series::change::swap, &a, ib, 1);
  return series1;
}

// Every none! value from the head on is removed; the rest keep their order.
cell* trim(cell* series, bool, bool, bool, bool, bool, cell*) {
  uint32_t n = block::length_from_head(series);
  auto head = static_cast<int32_t>(series->data1);
  bool owned = series::owned_before(series, series::change::trim, nullptr, head,
                                    static_cast<int32_t>(n));
  series_buffer* s = block::buffer_of(series);
  uint32_t len = s->used_bytes() / 16;
  cell* cells = s->cells_rw();
  // The owner's handler may have shortened the block below the head.
  uint32_t from = std::min(series->data1, len), kept = from;
  for (uint32_t i = from; i < len; ++i)
    if (type_of(cells + i) != type::none) cells[kept++] = cells[i];
  s->tail = s->offset + kept * 16;
  if (kept != len) block::hash_spliced(series, from, len - from, kept - from);
  if (owned)
    series::owned_after(series, series::change::trim, nullptr, head, static_cast<int32_t>(n));
  return series;
}

// ---------------------------------------------------------------------------------------------

void init() {
  registry::add(type::block,
                {.make = make,
                 .to = to,
                 .form = form,
                 .mold = mold,
                 .eval_path = eval_path,
                 .compare = compare,
                 .append = insert,
                 .change = change,
                 .copy = copy,
                 .find = find,
                 .insert = insert,
                 .put = put,
                 .select = select,
                 .sort = sort,
                 .swap = swap,
                 .take = take,
                 .trim = trim},
                inherited(slot::random, slot::reflect, slot::at, slot::back, slot::clear,
                          slot::head, slot::head_q, slot::index_q, slot::length_q, slot::move,
                          slot::next, slot::pick, slot::poke, slot::remove, slot::reverse,
                          slot::skip, slot::tail, slot::tail_q, slot::modify));
}

}  // namespace kaz::block_type

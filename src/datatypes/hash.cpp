// hash!: a block whose values are indexed by a hashtable of kind 0. The block actions keep the
// table in step; this file makes, converts, molds, copies and sorts hashes.
#include "core/block_storage.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "datatypes/block_actions.h"
#include "datatypes/series_common.h"
#include "datatypes/series_types.h"
#include "memory/hashtable.h"
#include "runtime/fire.h"

namespace kaz::hash_type {

namespace {

// The cell, holding a block, becomes a hash! over a new table of that block's values.
cell* index_block(cell* c) {
  uint32_t n = block::absolute_length(c);
  node_t table = hashtable::create(n < 1 ? 1 : n, c->data2, hashtable::hash_block, 1);
  set_type(c, type::hash);
  c->data3 = table;
  return c;
}

cell* copy(cell* series, cell* result, cell* part, bool deep, cell* types) {
  cell source = *series;
  bool whole = source.data1 == 0 && !part && !types && !deep;
  cell* held = stack::push(&source);
  block_type::copy(held, result, part, deep, types);
  *held = *result;
  set_type(held, type::block);
  if (whole) {
    node_t table = hashtable::copy(source.data3, held->data2);
    set_type(held, type::hash);
    held->data3 = table;
  } else {
    index_block(held);
  }
  *result = *held;
  stack::top = held;
  return result;
}

cell* make(cell* proto, cell* spec_arg, uint32_t) {
  cell spec = *spec_arg;
  uint32_t st = type_of(&spec);
  if (st == type::hash) return copy(&spec, proto, nullptr, false, nullptr);
  cell* held;
  if (st == type::integer || st == type::float_) {
    int32_t n = series::to_int_arg(&spec);
    held = block::push_only(n < 1 ? 1 : static_cast<uint32_t>(n));
  } else if (st == type::block) {
    held = block::copy_cells(&spec, false, false);
  } else {
    held = stack::reserve_cell();
    block_type::to(held, &spec, type::block);
  }
  set_type(held, type::block);
  index_block(held);
  *proto = *held;
  stack::top = held;
  return proto;
}

cell* to(cell* proto, cell* spec, uint32_t t) {
  if (type_of(spec) == type::hash) return copy(spec, proto, nullptr, false, nullptr);
  cell* held = stack::reserve_cell();
  block_type::to(held, spec, type::block);
  set_type(held, type::block);
  index_block(held);
  *proto = *held;
  stack::top = held;
  return proto;
}

int32_t mold(cell* h, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit,
             int32_t indent) {
  if (!only) {
    string::append_ascii(series::node_of(buffer), "make hash! ");
    limit -= 11;
  }
  return block_type::mold(h, buffer, only, all, flat, part, limit, indent);
}

// Sorting moves values: the sorted range is indexed again afterwards.
cell* sort(cell* series, bool case_, cell* skip, cell* comparator, cell* part, bool all,
           bool reverse, bool stable) {
  cell* r = block_type::sort(series, case_, skip, comparator, part, all, reverse, stable);
  uint32_t n = block::length_from_head(series);
  block::hash_spliced(series, series->data1, n, n);
  return r;
}

}  // namespace

void init() {
  registry::add(type::hash, {.make = make, .to = to, .mold = mold, .copy = copy, .sort = sort},
                inherited(slot::reflect, slot::form, slot::eval_path, slot::compare,
                          slot::append, slot::at, slot::back, slot::change, slot::clear,
                          slot::find, slot::head, slot::head_q, slot::index_q, slot::insert,
                          slot::length_q, slot::move, slot::next, slot::pick, slot::poke,
                          slot::put, slot::remove, slot::reverse, slot::select, slot::skip,
                          slot::swap, slot::tail, slot::tail_q, slot::take, slot::trim,
                          slot::modify));
}

}  // namespace kaz::hash_type

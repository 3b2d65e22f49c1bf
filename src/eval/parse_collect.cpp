// What parse takes out of the input: copy and set of a matched range, and collect/keep, which
// gather kept values into a new block or into a series named by a word.
#include "core/actions.h"
#include "core/block_storage.h"
#include "core/context.h"
#include "core/registry.h"
#include "core/scalar_cell.h"
#include "core/string_storage.h"
#include "eval/parse_internal.h"
#include "runtime/fire.h"

namespace kaz::parse {

namespace {

// The position in buffer units that copy_part and the storage routines count from: texts count
// from the start of the data area, blocks and binaries from the used part's start.
uint32_t storage_index(const engine& e, uint32_t pos) {
  if (e.fam != family::text) return pos;
  series_buffer* s = memory::buffer_of(series::node_of(&e.input));
  uint32_t first = s->offset / s->unit();
  return pos > first ? pos - first : 0;
}

// The value of one unit of the input: char!, integer! byte or the cell itself.
void unit_value(const engine& e, uint32_t pos, cell* out) {
  view in = view_of(e);
  switch (e.fam) {
    case family::block:
      *out = reinterpret_cast<const cell*>(in.base)[pos];
      break;
    case family::text:
      *out = cell{type::char_, 0, string::get_char(in.base + pos * in.unit, in.unit), 0};
      break;
    case family::bytes:
      *out = cell{type::integer, 0, in.base[pos], 0};
      break;
  }
}

// Whether a buffer is an input this call is parsing: its own, or an enclosing one of `into`.
bool parsed_input(const engine& e, node_t node) {
  if (node == series::node_of(&e.input)) return true;
  series_buffer* s = memory::buffer_of(series::node_of(&stacks[1]));
  uint32_t n = s->cell_count();
  for (uint32_t i = e.input_base; i < n; ++i)
    if (series::node_of(s->cells() + i) == node) return true;
  return false;
}

bool is_series_target(uint32_t t) {
  return is_any_block(t) || is_any_string(t) || t == type::binary;
}

// Whether kept values of this input may go into a series of type t.
bool compatible(const engine& e, uint32_t t) {
  if (t == type_of(&e.input) || is_any_block(t)) return true;
  if (is_any_string(t)) return e.fam != family::block;
  return t == type::binary && e.fam == family::bytes;
}

// Evaluation-stack layout of an open collect: [0] the target, [1] integer! of its kind,
// [2] for `collect set` the word.
cell* target_cell(const engine& e) { return stack::at_index(e.collect_target); }
uint32_t target_kind(const engine& e) {
  return static_cast<uint32_t>(integer_type::value_of(stack::at_index(e.collect_target + 1)));
}

// One value into the innermost collect's target: appended, or for `into` inserted at the
// target's position, which moves past it. A block target takes the value as one cell; a text or
// binary target takes its characters or bytes through the target's insert action. Only a unit
// of text or binary input (`unit`) goes in as a raw code point or byte: any other integer! or
// char! (a paren's, a block's) goes through the insert action, as `append` takes it.
void put_value(const engine& e, const cell* value, bool unit = false) {
  cell v = *value;
  cell* target = target_cell(e);
  bool at_tail = target_kind(e) != target::into;
  if (is_any_block(type_of(target))) {
    if (at_tail)
      block::append_copy(target, &v);
    else
      block::insert_value(target, &v, true, false);
    return;
  }
  uint32_t t = type_of(target);
  if (unit && (type_of(&v) == type::char_ || type_of(&v) == type::integer)) {
    uint32_t c = v.data2;
    series_buffer* s = memory::buffer_of(series::node_of(target));
    uint32_t first = t == type::binary ? s->offset : 0;  // binary heads count from the offset
    uint32_t used = s->tail / s->unit();
    uint32_t at = at_tail ? used : first + series::index_of(target);
    if (at > used) at = used;
    if (t == type::binary) c &= 0xFF;
    string::insert_char(series::node_of(target), at, c);
    if (!at_tail) target->data1++;
    return;
  }
  const action_row& row = registry::row(t);
  slot_fn::insert insert = at_tail ? row.append : row.insert;
  if (!insert) actions::unsupported(target, at_tail ? slot::append : slot::insert);
  cell copy = *target;
  cell* moved = insert(&copy, &v, -1, true, 1, at_tail);
  if (!at_tail) target_cell(e)->data1 = series::index_of(moved);
}

}  // namespace

void copy_range(const engine& e, uint32_t from, uint32_t to, cell* out) {
  uint32_t t = type_of(&e.input);
  uint32_t tail = view_of(e).tail;
  if (to > tail) to = tail;
  if (from > to) from = to;
  if (t == type::hash) t = type::block;  // a plain block of the values
  series_buffer* s = memory::buffer_of(series::node_of(&e.input));
  node_t node = memory::copy_part(s, storage_index(e, from), to - from);
  *out = cell{t, 0, node, 0};
}

void first_value(const engine& e, uint32_t from, uint32_t to, cell* out) {
  if (from >= to || from >= view_of(e).tail) {
    *out = cell{type::none, 0, 0, 0};
    return;
  }
  unit_value(e, from, out);
}

cell open_collect(engine& e, uint32_t kind, const cell* word) {
  uint32_t at = stack::index_of(stack::top);
  if (kind == target::block || kind == target::set) {
    block::push_only(8);
  } else {
    cell w = *word;
    cell v = *context::get_value(&w);
    uint32_t t = type_of(&v);
    if (!is_series_target(t) || !compatible(e, t)) fire(err::script_parse_into_type);
    if (parsed_input(e, series::node_of(&v))) fire(err::script_parse_into_bad);
    stack::push(&v);
  }
  stack::push_integer(int32_t(kind));
  if (kind == target::set) stack::push(word);
  cell info{type::triple, at, kind, e.collect_target};
  e.collect_target = at;
  e.collects++;
  return info;
}

void close_collect(engine& e, const cell* info, bool ok) {
  uint32_t at = info->data1;
  uint32_t kind = info->data2;
  cell gathered = *stack::at_index(at);
  e.collect_target = info->data3;
  e.collects--;
  if (kind == target::set) {
    cell word = *stack::at_index(at + 2);
    context::set_value(&word, &gathered);
  } else if (kind == target::block) {
    if (e.collect_target) {
      // Nested in another collect: the block is one value of the enclosing one.
      if (ok) put_value(e, &gathered);
    } else {
      *stack::at_index(e.result_slot) = gathered;
    }
  }
  stack::top = stack::at_index(at);
}

void keep_range(engine& e, uint32_t from, uint32_t to, bool pick) {
  if (to > view_of(e).tail) to = view_of(e).tail;
  if (from >= to) return;
  uint32_t t = type_of(target_cell(e));
  bool units = e.fam != family::block && (is_any_string(t) || t == type::binary);
  if (pick || to - from == 1 || units) {
    // One value per unit; a text or binary target takes the units themselves.
    for (uint32_t i = from; i < to; ++i) {
      cell v;
      unit_value(e, i, &v);
      put_value(e, &v, e.fam != family::block);
    }
    return;
  }
  cell part;
  copy_range(e, from, to, &part);
  put_value(e, &part);
}

void keep_value(engine& e, const cell* value, bool pick) {
  cell v = *value;
  if (type_of(&v) == type::unset) return;
  if (!pick || !is_any_block(type_of(&v))) {
    put_value(e, &v);
    return;
  }
  for (int32_t i = 0; i < block::rs_length(&v); ++i) {
    cell x = block::rs_head(&v)[i];
    put_value(e, &x);
  }
}

}  // namespace kaz::parse

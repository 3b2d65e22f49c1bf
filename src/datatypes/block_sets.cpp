// The engine of the set natives over blocks: unique, union, intersect, exclude, difference.
#include <algorithm>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/stack.h"
#include "datatypes/block_actions.h"
#include "datatypes/integer.h"
#include "datatypes/series_common.h"
#include "memory/hashtable.h"
#include "runtime/fire.h"

namespace kaz::block_type {

namespace {

constexpr int32_t unique = 8, union_ = 9, intersect = 10, exclude = 11, difference = 12;

/*
 * Records are `skip` cells; a record is known by its first cell. Membership is asked of a
 * hashtable (the set's own when it is a hash!, else one made over it for the operation), except
 * for block values, whose table hash is their identity: those are searched cell by cell.
 */
struct set_walk {
  int32_t op;      // equal? or, with /case, strict-equal?
  uint32_t skip;
  cell skip_cell;  // the same as an integer!, for searches

  // Whether the value starts a record of the set (from its head) that `table` indexes.
  bool member(cell* set, node_t table, const cell* value) const {
    if (is_any_block(type_of(value))) {
      search how;
      how.only = true;
      how.op = op;
      how.skip = const_cast<cell*>(&skip_cell);
      uint32_t length;
      return locate(set, value, how, &length) >= 0;
    }
    return hashtable::find(table, value, static_cast<int32_t>(set->data1),
                           static_cast<int32_t>(skip), op) >= 0;
  }

  // The records of `from` that pass the test against `other` and are not in the result yet
  // are appended to it, in order.
  void pass(cell* result, cell* from, cell* other, node_t other_table, int32_t code) const {
    for (uint32_t i = from->data1; i < block::absolute_length(from); i += skip) {
      cell first = *block::rs_abs_at(from, i);
      if (code == intersect || code == exclude || code == difference) {
        bool in_other = member(other, other_table, &first);
        if (in_other != (code == intersect)) continue;
      }
      if (member(result, result->data3, &first)) continue;
      uint32_t end = std::min(i + skip, block::absolute_length(from));
      for (uint32_t j = i; j < end; ++j) {
        cell v = *block::rs_abs_at(from, j);
        block::append_copy(result, &v);
      }
    }
  }
};

// A cell on the stack that keeps a set's table alive for the operation: the set's own table
// when it is a hash!, else a new one over its buffer.
node_t table_for(cell* set) {
  if (type_of(set) == type::hash && set->data3 != 0) return set->data3;
  cell* holder = stack::push(set);
  node_t t = hashtable::create(block::absolute_length(set), set->data2, hashtable::hash_block);
  holder->header = type::hash;
  holder->data3 = t;
  return t;
}

}  // namespace

void set_operation(bool case_, const cell* skip, int32_t code) {
  cell* saved_top = stack::top;
  cell* a = stack::arguments;
  cell* b = code == unique ? nullptr : stack::arguments + 1;
  set_walk walk{case_ ? actions::op::strict_equal : actions::op::equal, 1,
                cell{type::integer, 0, 1, 0}};
  if (skip) {
    if (type_of(skip) != type::integer || integer_type::value_of(skip) < 1)
      series::bad_refine_arg("skip", skip);
    walk.skip = static_cast<uint32_t>(integer_type::value_of(skip));
    walk.skip_cell.data2 = skip->data2;
  }
  block::length_from_head(a);  // clamps a head past the tail
  if (b) block::length_from_head(b);
  uint32_t size = block::length_from_head(a) + (code == union_ ? block::length_from_head(b) : 0);
  // The result is built as a hash! over its own table, which indexes every appended cell.
  cell* result = block::push_only(size ? size : 1);
  result->data3 = hashtable::create(size ? size : 1, result->data2, hashtable::hash_block);
  result->header = type::hash;
  node_t table_b = code == intersect || code == exclude || code == difference ? table_for(b) : 0;
  walk.pass(result, a, b, table_b, code);
  if (code == union_) walk.pass(result, b, a, 0, code);
  if (code == difference) walk.pass(result, b, a, table_for(a), code);
  cell out = *result;
  bool hashed = type_of(a) == type::hash || (b && type_of(b) == type::hash);
  if (!hashed) {
    out.header = type::block;
    out.data3 = 0;
  }
  stack::top = saved_top;
  *stack::arguments = out;
}

}  // namespace kaz::block_type

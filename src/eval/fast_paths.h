// Work the interpreter does without a call: arithmetic and comparison of numbers by infix
// operators, and the fields of objects reached along paths. Each answers false (or null) where
// the generic way must run, which then gives exactly the same result, errors and events.
#pragma once

#include <cstdint>

#include "core/function.h"
#include "core/registry.h"
#include "core/scalar_cell.h"
#include "core/series_cell.h"
#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::fast_paths {

enum : int { none = 0, add, subtract, multiply, divide, remainder, equal, not_equal, strict_equal,
             lesser, greater, lesser_or_equal, greater_or_equal };

// The comparison natives by table index, from equal? on, in the order of the kinds above.
constexpr uint32_t first_comparison_native = 25;

namespace detail {

// Operators whose wrapped action or native evaluates both arguments and lets each be integer!
// or float!: computing inline then gives what the call gives. One made from a table entry with
// another spec keeps its own checks. By extra node; emptied at every collection.
struct operator_entry {
  node_t extra;
  bool plain;
};
constexpr uint32_t operator_cache_size = 64;
extern operator_entry operator_cache[operator_cache_size];
inline uint32_t operator_slot(node_t extra) { return (extra * 0x9E3779B1u) >> 26; }

}  // namespace detail

// Whether the op!'s spec takes two evaluated arguments that may each be integer! or float!.
bool learn_operator(const cell* op);
inline bool plain_operator(const cell* op) {
  node_t extra = function::extra_of(op);
  const detail::operator_entry& e = detail::operator_cache[detail::operator_slot(extra)];
  if (e.extra == extra) return e.plain;
  return learn_operator(op);
}

// The operation an op! runs without a call (the wrapped action or native), or 0.
inline int infix_kind(const cell* op) {
  uint32_t wrapped = (op->header >> 16) & 0xFF;
  int kind = none;
  if (wrapped == type::action) {
    switch (function::table_index_of(op)) {
      case slot::add: kind = add; break;
      case slot::subtract: kind = subtract; break;
      case slot::multiply: kind = multiply; break;
      case slot::divide: kind = divide; break;
      case slot::remainder: kind = remainder; break;
      default: return none;
    }
  } else if (wrapped == type::native && function::table_index_of(op) >= first_comparison_native &&
             function::table_index_of(op) < first_comparison_native + 7) {
    kind = equal + static_cast<int>(function::table_index_of(op) - first_comparison_native);
  } else {
    return none;
  }
  return plain_operator(op) ? kind : none;
}

// A left operand the inline operations take: integer! or float!.
inline bool number_operand(const cell* v) {
  uint32_t t = type_of(v);
  return t == type::integer || t == type::float_;
}

inline void put_logic(cell* c, bool b) {
  c->header = type::logic;
  c->data1 = b ? 1 : 0;
}

// Two integers, as the integer! actions compute them: a sum, difference or product that
// overflows 32 bits is the float! of the exact result, an inexact quotient a float!.
[[gnu::always_inline]] inline bool integers(int kind, cell* left, const cell* right) {
  int32_t x = integer_type::value_of(left), y = integer_type::value_of(right);
  int32_t r = 0;
  bool overflow = false;
  switch (kind) {
    case add: overflow = __builtin_add_overflow(x, y, &r); break;
    case subtract: overflow = __builtin_sub_overflow(x, y, &r); break;
    case multiply: overflow = __builtin_mul_overflow(x, y, &r); break;
    case divide:
    case remainder:
      if (y == 0 || (x == INT32_MIN && y == -1)) return false;  // the action raises
      if (kind == remainder) {
        r = x % y;
      } else if (x % y != 0) {
        left->header = type::float_;
        put_double(left, double(x) / double(y));
        return true;
      } else {
        r = x / y;
      }
      break;
    case equal: case strict_equal: put_logic(left, x == y); return true;
    case not_equal: put_logic(left, x != y); return true;
    case lesser: put_logic(left, x < y); return true;
    case greater: put_logic(left, x > y); return true;
    case lesser_or_equal: put_logic(left, x <= y); return true;
    default: put_logic(left, x >= y); return true;
  }
  if (overflow) {
    double d = kind == add ? double(x) + y : kind == subtract ? double(x) - y : double(x) * y;
    left->header = type::float_;
    put_double(left, d);
    return true;
  }
  left->header = type::integer;
  left->data2 = static_cast<uint32_t>(r);
  return true;
}

// Operands other than two integers (out of line).
bool mixed(int kind, cell* left, const cell* right);

// Two operands in place on the stack: the result replaces the left one. False where the call
// must run (other types, a division by zero, an overflow that raises).
[[gnu::always_inline]] inline bool infix(int kind, cell* left, const cell* right) {
  if (type_of(left) == type::integer && type_of(right) == type::integer) [[likely]]
    return integers(kind, left, right);
  return mixed(kind, left, right);
}

/*
 * An object's field named by a path element, for reading (`get`, `tail` as the path walker
 * passes them): the value cell, or null where the generic step must run (a field absent or
 * unset, `self`). The element's slot is found through a cache of (context, symbol) lookups.
 */
const cell* object_field(const cell* object, const cell* element);

// Sets an object's field named by a path element when no change handler can see it: false
// where the generic step must run.
bool set_object_field(const cell* object, const cell* element, const cell* value);

// A block's value at a 1-based integer path element inside it, or null (other types, other
// positions: the pick action's rules then apply).
inline const cell* block_pick(const cell* parent, const cell* element) {
  if (type_of(parent) != type::block || type_of(element) != type::integer) return nullptr;
  int32_t k = integer_type::value_of(element);
  if (k < 1) return nullptr;
  series_buffer* s = memory::buffer_of(series::node_of(parent));
  uint64_t at = uint64_t(series::index_of(parent)) + uint64_t(k) - 1;
  if (at >= s->cell_count()) return nullptr;
  return s->cells() + at;
}

// The same cell for a poke that nothing else sees (no owner to tell), or null: the poke
// action's checks, owners and errors then apply.
inline cell* block_poke_slot(const cell* parent, const cell* element) {
  const cell* at = block_pick(parent, element);
  series_buffer* s = memory::buffer_of(series::node_of(parent));
  if (!at || (s->flags & series_flag::owned)) return nullptr;
  return s->cells_rw() + (at - s->cells());
}

void init();

}  // namespace kaz::fast_paths

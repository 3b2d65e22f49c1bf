// The conditionals if, unless and either run by the interpreter itself when the word still
// holds the native: no descriptor walk, and literal blocks taken as they stand, with the
// native's frame, argument order, truth rule, errors, exits and trace events.
#pragma once

#include <cstdint>

#include "core/function.h"
#include "eval/interpreter.h"

namespace kaz::interp::control_inline {

namespace detail {

constexpr uint32_t max_arity = 3;

/*
 * What is known of the native value last met for each conditional (by its table index): its
 * extra block (the node of its descriptors) and its arguments' typesets, taken from the
 * descriptors once and checked to be the expected spec (only evaluated arguments, no
 * refinement). Emptied at every collection, after which a node may belong to another value.
 */
struct known_native {
  node_t extra;
  bool usable;
  cell typesets[max_arity];
};
extern known_native known[4];

}  // namespace detail

// The conditional a native! value is (its own, not one made from its table entry with another
// spec), or 0: its table index, 1 to 3.
int known_kind(const cell* fn);
inline int kind_of(const cell* fn) {
  uint32_t index = function::table_index_of(fn);
  if (index > 3) return 0;
  const detail::known_native& k = detail::known[index];
  if (k.extra == function::extra_of(fn) && index != 0) return k.usable ? int(index) : 0;
  return known_kind(fn);
}

// The call, in place of eval_call for a prefix call without a path.
flow run(cursor& c, const cell* fn, const cell* name, int kind);

void init();

}  // namespace kaz::interp::control_inline

// The language's truth: none! and false are false, every other value is true.
#pragma once

#include "core/scalar_cell.h"
#include "runtime/cell.h"
#include "runtime/fire.h"

namespace kaz {

inline bool is_false(const cell* v) {
  uint32_t t = type_of(v);
  return t == type::none || (t == type::logic && logic_type::value_of(v) != 1);
}
inline bool is_true(const cell* v) { return !is_false(v); }

// The strict test of either, while, until and case: unset! raises no-return.
inline bool argument_true(const cell* v) {
  if (type_of(v) == type::unset) fire(err::script_no_return);
  return is_true(v);
}

}  // namespace kaz

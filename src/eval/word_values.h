// Reading a word's value as the interpreter reads it: shared by the interpreter and its inline
// paths.
#pragma once

#include <cstdint>

#include "core/context.h"
#include "core/stack.h"
#include "core/word.h"
#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::interp {

// The value cell of a bound word, or null when it cannot be read without an error.
inline cell* bound_value(const cell* w) {
  node_t ctx = word::context_of(w);
  if (ctx == 0 || word::index_of(w) == word::unbound_index) return nullptr;
  cell* h = context::header_cell(ctx);
  if (h->header & context_flag::on_stack) {
    if (h->data2 == context::no_values) return nullptr;
    return stack::at_index(h->data2 + word::index_of(w));
  }
  if (h->data2 == 0) return nullptr;
  return memory::buffer_of(h->data2)->cells() + word::index_of(w);
}

}  // namespace kaz::interp

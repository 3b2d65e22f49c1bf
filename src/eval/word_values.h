// Reading a word's value as the interpreter reads it: shared by the interpreter and its inline
// paths.
#pragma once

#include <cstdint>
#include <type_traits>

#include "core/context.h"
#include "core/stack.h"
#include "core/word.h"
#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::interp {

// The value cell of a bound word, or null when it cannot be read without an error; with
// `write`, a cell to write (its buffer's stamp renewed).
template <bool write>
[[gnu::always_inline]] inline std::conditional_t<write, cell*, const cell*> bound_slot(
    const cell* w) {
  node_t ctx = word::context_of(w);
  if (ctx == 0 || word::index_of(w) == word::unbound_index) return nullptr;
  const cell* h = context::header_cell(ctx);
  if (h->header & context_flag::on_stack) {
    if (h->data2 == context::no_values) return nullptr;
    return stack::at_index(h->data2 + word::index_of(w));
  }
  if (h->data2 == 0) return nullptr;
  series_buffer* s = memory::buffer_of(h->data2);
  if constexpr (write)
    return s->cells_rw() + word::index_of(w);
  else
    return s->cells() + word::index_of(w);
}
inline const cell* bound_value(const cell* w) { return bound_slot<false>(w); }
inline cell* bound_value_rw(const cell* w) { return bound_slot<true>(w); }

}  // namespace kaz::interp

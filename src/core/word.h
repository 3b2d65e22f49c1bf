// What other layers read of a word cell (word!, set-word!, get-word!, lit-word!, refinement!,
// issue!): data1 the context node it is bound to (0: none), data2 its symbol id, data3 its
// index in that context (unbound_index: not bound there).
#pragma once

#include <cstdint>

#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::word {

constexpr uint32_t unbound_index = 0xFFFFFFFF;

inline uint32_t symbol_of(const cell* w) { return w->data2; }
inline node_t context_of(const cell* w) { return w->data1; }
inline uint32_t index_of(const cell* w) { return w->data3; }
inline bool is_unbound(const cell* w) { return w->data1 == 0 || w->data3 == unbound_index; }

}  // namespace kaz::word

// The cycle stack: the series every recursive walk over values (mold, form, copy, compare,
// binding, ownership) is inside, so that a walk stops at a cycle instead of looping.
#pragma once

#include <cstdint>

#include "memory/series.h"

namespace kaz::cycle_stack {

/*
 * Entries are node ids (for an object!, its context's node), only ever compared. They are no
 * roots: an entry's series is alive through the walk that pushed it. When the collector moves
 * nodes, `relocate` rewrites the entries to the new ids.
 */
constexpr uint32_t capacity = 1000;

namespace detail {
extern node_t entries[capacity];
extern uint32_t top;
extern bool registered;  // the collector knows to relocate the entries
void push_slow(node_t node);
}  // namespace detail

// Pushes a node. Storing the 1000th entry empties the stack and raises internal too-deep.
inline void push(node_t node) {
  if (detail::registered && detail::top + 1 < capacity)
    detail::entries[detail::top++] = node;
  else
    detail::push_slow(node);
}
// Moves the top back one entry when the stack is not empty.
inline void pop() {
  if (detail::top > 0) --detail::top;
}
// Moves the top back n entries (at most down to empty).
void drop(uint32_t n);
// Empties the stack; called before an error abandons a walk.
void reset();
inline bool contains(node_t node) {
  for (uint32_t i = detail::top; i-- > 0;)  // the innermost series are the likeliest
    if (detail::entries[i] == node) return true;
  return false;
}
inline uint32_t depth() { return detail::top; }
// Rewrites every entry through `forward` (old node id to new); for the collector.
void relocate(node_t (*forward)(node_t));

}  // namespace kaz::cycle_stack

namespace kaz::cycle_stack {

// The node a walk pushes for a value: the context (word 1) of an object!, error! or port!, the
// series (word 2) of anything else.
inline node_t key_of(const cell* value) {
  uint32_t t = type_of(value);
  return t == type::object || t == type::error || t == type::port ? value->data1 : value->data2;
}

// What mold (or form, with mold false) writes for a value met again inside itself: "[...]",
// "(...)", "#[...]", "make object! [...]" or "..." (form writes "..." for every type).
const char* marker(uint32_t type, bool mold);

// When the value's key is on the stack: appends its marker to the string `out`, lowers
// `*remaining` by the marker's length and answers true. Otherwise answers false.
bool emit_marker(const cell* value, node_t out, int32_t* remaining, bool mold);

}  // namespace kaz::cycle_stack

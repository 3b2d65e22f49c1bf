#include "memory/cycle_stack.h"

#include "memory/collector.h"
#include "memory/cycle_guard.h"
#include "runtime/fire.h"

namespace kaz {

namespace cycle_stack {

namespace detail {
node_t entries[capacity];
uint32_t top = 0;
bool registered = false;
}  // namespace detail

using detail::entries;
using detail::top;

namespace {
// After a collection that renumbered nodes, the entries follow them.
void follow_moves() {
  if (collector::nodes_moved()) relocate(collector::forwarded);
}
}  // namespace

void detail::push_slow(node_t node) {
  if (!registered) {
    collector::add_sweep_callback(follow_moves);
    registered = true;
  }
  entries[top++] = node;
  if (top == capacity) {
    top = 0;
    fire(err::internal_too_deep);
  }
}

void drop(uint32_t n) { top = n < top ? top - n : 0; }

void reset() { top = 0; }

void relocate(node_t (*forward)(node_t)) {
  for (uint32_t i = 0; i < top; ++i) entries[i] = forward(entries[i]);
}

const char* marker(uint32_t t, bool mold) {
  if (!mold) return "...";
  switch (t) {
    case type::block:
    case type::hash:
      return "[...]";
    case type::paren:
      return "(...)";
    case type::map:
      return "#[...]";
    case type::object:
      return "make object! [...]";
    default:
      return "...";  // the path family, and any type a walk may bring here
  }
}

}  // namespace cycle_stack

// The scoped form of push and pop that walks use.
void cycle_guard::reset() { cycle_stack::reset(); }

}  // namespace kaz

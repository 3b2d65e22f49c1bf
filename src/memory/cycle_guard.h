// Guards a walk over nested series against cycles and excessive depth: the nodes being walked
// (binding, molding, copying, comparing) are kept on the cycle stack for the duration.
#pragma once

#include "memory/cycle_stack.h"
#include "memory/series.h"

namespace kaz {

class cycle_guard {
 public:
  // Pushes the node unless it is being walked already (then entered() is false). Raises
  // internal too-deep when the stack is full.
  explicit cycle_guard(node_t node) : entered_(!cycle_stack::contains(node)) {
    if (entered_) cycle_stack::push(node);
  }
  ~cycle_guard() {
    if (entered_) cycle_stack::pop();
  }
  cycle_guard(const cycle_guard&) = delete;
  cycle_guard& operator=(const cycle_guard&) = delete;
  bool entered() const { return entered_; }

  static bool contains(node_t node) { return cycle_stack::contains(node); }
  static void reset();  // empties the stack (stack overflow recovery)

 private:
  bool entered_;
};

}  // namespace kaz

// Guards a walk over nested series against cycles and excessive depth: the nodes being walked
// (binding, molding, copying, comparing) are kept on the cycle stack for the duration.
#pragma once

#include "memory/series.h"

namespace kaz {

class cycle_guard {
 public:
  // Pushes the node unless it is being walked already (then entered() is false). Raises
  // internal too-deep when the stack is full.
  explicit cycle_guard(node_t node);
  ~cycle_guard();
  cycle_guard(const cycle_guard&) = delete;
  cycle_guard& operator=(const cycle_guard&) = delete;
  bool entered() const { return entered_; }

  static bool contains(node_t node);
  static void reset();  // empties the stack (stack overflow recovery)

 private:
  bool entered_;
};

}  // namespace kaz

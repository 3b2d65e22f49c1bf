#include "core/cycle_guard.h"

#include "core/fire.h"

namespace kaz {

namespace {

constexpr uint32_t capacity = 1000;
node_t walked[capacity];
uint32_t depth = 0;

}  // namespace

cycle_guard::cycle_guard(node_t node) : entered_(false) {
  if (contains(node)) return;
  if (depth >= capacity) fire(err::internal_too_deep);
  walked[depth++] = node;
  entered_ = true;
}

cycle_guard::~cycle_guard() {
  if (entered_ && depth > 0) --depth;
}

bool cycle_guard::contains(node_t node) {
  for (uint32_t i = 0; i < depth; ++i)
    if (walked[i] == node) return true;
  return false;
}

void cycle_guard::reset() { depth = 0; }

}  // namespace kaz

// The markers mold and form write where a series contains itself.
#include <cstring>

#include "core/string_storage.h"
#include "memory/cycle_stack.h"

namespace kaz::cycle_stack {

bool emit_marker(const cell* value, node_t out, int32_t* remaining, bool mold) {
  if (!contains(key_of(value))) return false;
  const char* m = marker(type_of(value), mold);
  string::append_ascii(out, m);
  *remaining -= static_cast<int32_t>(std::strlen(m));
  return true;
}

}  // namespace kaz::cycle_stack

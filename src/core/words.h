// Frequently used words and symbols of the runtime, made once at start-up.
#pragma once

#include <cstdint>

#include "datatypes/cell.h"

namespace kaz::words {

// Symbol ids of the runtime's own vocabulary (filled by init, in creation order).
#define KAZ_RUNTIME_SYMBOLS(X) \
  X(self, "self")              \
  X(body_, "<body>")           \
  X(anon, "<anon>")            \
  X(not_found, "<not-found>")  \
  X(applied, "<applied>")      \
  X(local, "local")            \
  X(extern_, "extern")         \
  X(return_, "return")         \
  X(exit, "exit")              \
  X(true_, "true")             \
  X(false_, "false")           \
  X(yes, "yes")                \
  X(no, "no")                  \
  X(on, "on")                  \
  X(off, "off")                \
  X(none, "none")              \
  X(set_path, "set-path")      \
  X(case_, "case")             \
  X(name, "name")              \
  X(part, "part")              \
  X(system, "system")          \
  X(system_global, "system-global") \
  X(trace, "trace")            \
  X(no_trace, "no-trace")      \
  X(foreach, "foreach")        \
  X(remove_each, "remove-each") \
  X(repeat, "repeat")          \
  X(forall, "forall")          \
  X(on_change, "on-change*")   \
  X(on_deep_change, "on-deep-change*") \
  X(try_, "try")               \
  X(catch_, "catch")           \
  X(stack, "stack")            \
  X(type, "type")              \
  X(id, "id")                  \
  X(code, "code")

struct symbols {
#define KAZ_DECLARE(cname, text) uint32_t cname;
  KAZ_RUNTIME_SYMBOLS(KAZ_DECLARE)
#undef KAZ_DECLARE
};
extern symbols sym;

// A word! bound to the global context for a symbol, written into `out`.
void global_word(uint32_t symbol, cell* out);

void init();

}  // namespace kaz::words

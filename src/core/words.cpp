#include "core/words.h"

#include "core/context.h"
#include "core/symbol.h"

namespace kaz::words {

symbols sym;

void global_word(uint32_t symbol, cell* out) { context::intern_global(symbol, out); }

void init() {
#define KAZ_MAKE(cname, text) sym.cname = symbol::make(text);
  KAZ_RUNTIME_SYMBOLS(KAZ_MAKE)
#undef KAZ_MAKE
}

}  // namespace kaz::words

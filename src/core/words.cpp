#include "core/words.h"

#include "core/context.h"
#include "core/symbol.h"
#include "core/word.h"
#include "memory/collector.h"

namespace kaz::words {

symbols sym;
word_cells word;
refinement_cells refinement;
cell ooo{type::unset, 0, 0, 0};

static_assert(sizeof(word_cells) == 130 * sizeof(cell), "the runtime makes 130 word globals");
static_assert(sizeof(refinement_cells) == 6 * sizeof(cell), "and six refinements");

namespace {

// word/make-from-cstring: any case variant's slot, with this spelling.
void word_from_text(cell* out, uint32_t* symbol_out, const char* text) {
  *symbol_out = symbol::make(text);
  context::intern_global(*symbol_out, out, true, true);
}

// word/make-global-from-symbol.
void word_from_symbol(cell* out, uint32_t symbol) { context::intern_global(symbol, out, false, true); }

}  // namespace

void global_word(uint32_t symbol, cell* out) { context::intern_global(symbol, out); }

void init() {
#define KAZ_MAKE_SYM(cname, text) sym.cname = symbol::make(text);
#define KAZ_MAKE_WORD(cname, text) word_from_text(&word.cname, &sym.cname, text);
#define KAZ_MAKE_WORD_OF_SYM(cname) word_from_symbol(&word.cname, sym.cname);
#define KAZ_MAKE_REF(cname, text) \
  refinement.cname = cell{type::refinement, 0, symbol::make(text), context::unresolved};
  KAZ_RUNTIME_SYMBOLS(KAZ_MAKE_SYM)
  KAZ_RUNTIME_WORDS(KAZ_MAKE_WORD, KAZ_MAKE_WORD_OF_SYM)
  KAZ_RUNTIME_REFINEMENTS(KAZ_MAKE_REF)
  ooo = cell{type::issue, context::global, symbol::make("ooo"), context::unresolved};
  KAZ_EXTRA_SYMBOLS(KAZ_MAKE_SYM)
#undef KAZ_MAKE_SYM
#undef KAZ_MAKE_WORD
#undef KAZ_MAKE_WORD_OF_SYM
#undef KAZ_MAKE_REF
  sym.extern_ = word::symbol_of(&refinement.extern_);
  sym.part = word::symbol_of(&refinement.part);
  sym.compare = word::symbol_of(&refinement.compare);
  sym.with = word::symbol_of(&refinement.with);
  collector::add_root_cells(reinterpret_cast<cell*>(&word), sizeof word / sizeof(cell));
  collector::add_root_cells(&ooo);
}

}  // namespace kaz::words

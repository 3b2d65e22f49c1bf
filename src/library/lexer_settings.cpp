// What the lexer reads from the library: the words it reports for tokens of no datatype, from
// the block in system/lexer/exit-states.
#include "library/lexer_settings.h"

#include "core/block_storage.h"
#include "core/context.h"
#include "core/object.h"
#include "core/symbol.h"
#include "loader/lexer_hooks.h"

namespace kaz::library {

namespace {

// The value of a field of an object, or null.
const cell* field_of(const cell* object, uint32_t symbol) {
  if (!object || type_of(object) != type::object) return nullptr;
  node_t ctx = object::context_of(object);
  int32_t i = context::find_symbol(ctx, symbol, true);
  return i < 0 ? nullptr : context::values(ctx) + i;
}

// Entry `token_class` (1-based) of system/lexer/exit-states, when that is a block holding one.
bool exit_state(uint32_t token_class, cell* out) {
  static const uint32_t system = symbol::make("system");
  static const uint32_t lexer = symbol::make("lexer");
  static const uint32_t exit_states = symbol::make("exit-states");
  cell w;
  context::intern_global(system, &w);
  const cell* states = field_of(field_of(context::get_value(&w), lexer), exit_states);
  if (!states || type_of(states) != type::block) return false;
  cell b = *states;
  if (token_class < 1 || token_class > block::length_from_head(&b)) return false;
  *out = *(block::rs_head(&b) + (token_class - 1));
  out->header &= ~new_line_flag;
  return true;
}

}  // namespace

void install_lexer_settings() { lexer::hooks.class_word = exit_state; }

}  // namespace kaz::library

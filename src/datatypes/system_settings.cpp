#include "datatypes/system_settings.h"

#include "core/context.h"
#include "core/object.h"
#include "core/symbol.h"
#include "core/words.h"

namespace kaz::system_settings {

namespace {

// The symbols of a path below `system`, interned on first use.
struct field_path {
  const char* names[3];
  uint32_t count;
  uint32_t symbols[3] = {};
  bool interned = false;
};

const cell* field_of(const cell* object, uint32_t symbol) {
  if (type_of(object) != type::object) return nullptr;
  int32_t i = context::find_symbol(object::context_of(object), symbol, true);
  if (i < 0) return nullptr;
  const cell* v = context::values(object::context_of(object)) + i;
  return type_of(v) == type::unset ? nullptr : v;
}

const cell* lookup(field_path& p) {
  if (context::global == 0) return nullptr;
  if (!p.interned) {
    for (uint32_t k = 0; k < p.count; ++k) p.symbols[k] = symbol::make(p.names[k]);
    p.interned = true;
  }
  int32_t i = context::find_symbol(context::global, words::sym.system, true);
  if (i < 0) return nullptr;
  const cell* v = context::values(context::global) + i;
  for (uint32_t k = 0; k < p.count && v; ++k) v = field_of(v, p.symbols[k]);
  return v;
}

}  // namespace

const cell* months() {
  static field_path p{{"locale", "months"}, 2};
  return lookup(p);
}

const cell* currency_list() {
  static field_path p{{"locale", "currencies", "list"}, 3};
  return lookup(p);
}

const cell* money_digits() {
  static field_path p{{"options", "money-digits"}, 2};
  return lookup(p);
}

}  // namespace kaz::system_settings

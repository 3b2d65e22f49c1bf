// unset!: the value of nothing.
#include "core/stack.h"
#include "datatypes/registry.h"
#include "datatypes/simple_types.h"
#include "datatypes/string_storage.h"

namespace kaz::unset_type {

namespace {

cell* make(cell*, cell*, uint32_t) { return stack::push_unset(); }

int32_t form(cell*, cell*, cell*, int32_t limit) { return limit; }

int32_t mold(cell*, cell* buffer, bool, bool all, bool, cell*, int32_t limit, int32_t) {
  string::append_ascii(buffer->data2, all ? "#(unset)" : "unset");
  return limit - (all ? 8 : 5);
}

int32_t compare(cell*, cell* b, int32_t op) {
  if (type_of(b) != type::unset) return -2;
  switch (op) {
    case 0: case 1: case 2: case 7: case 8: case 9: case 12:
      return 0;
    default:
      return -2;
  }
}

}  // namespace

void init() {
  registry::add(type::unset,
                {.make = make, .to = make, .form = form, .mold = mold, .compare = compare});
}

}  // namespace kaz::unset_type

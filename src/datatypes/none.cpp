// none!: the absent value; its series actions answer none.
#include "core/stack.h"
#include "datatypes/registry.h"
#include "datatypes/simple_types.h"
#include "datatypes/string_storage.h"

namespace kaz::none_type {

namespace {

cell* make(cell*, cell*, uint32_t) { return stack::push_none(); }

int32_t form(cell*, cell* buffer, cell*, int32_t limit) {
  string::append_ascii(buffer->data2, "none");
  return limit - 4;
}

int32_t mold(cell*, cell* buffer, bool, bool all, bool, cell*, int32_t limit, int32_t) {
  string::append_ascii(buffer->data2, all ? "#(none)" : "none");
  return limit - (all ? 7 : 4);
}

int32_t compare(cell*, cell* b, int32_t op) {
  if (type_of(b) != type::none) return -2;
  switch (op) {
    case 0: case 1: case 2: case 7: case 8: case 9: case 12:
      return 0;
    default:
      return -2;
  }
}

// find, select, take, remove and clear of none give none.
cell* none_result() {
  stack::arguments->header = type::none;
  return stack::arguments;
}
cell* clear(cell*) { return none_result(); }
cell* find(cell*, cell*, cell*, bool, bool, bool, bool, cell*, cell*, bool, bool, bool, bool) {
  return none_result();
}
cell* select(cell*, cell*, cell*, bool, bool, bool, bool, cell*, cell*, bool, bool) {
  return none_result();
}
cell* take(cell*, cell*, bool, bool) { return none_result(); }
cell* remove(cell*, cell*, cell*) { return none_result(); }
int32_t length(cell*) { return -1; }

}  // namespace

void init() {
  registry::add(type::none, {.make = make,
                             .to = make,
                             .form = form,
                             .mold = mold,
                             .compare = compare,
                             .clear = clear,
                             .find = find,
                             .length_q = length,
                             .remove = remove,
                             .select = select,
                             .take = take});
}

}  // namespace kaz::none_type

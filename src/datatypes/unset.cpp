// unset!: the value of nothing.
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "datatypes/simple_types.h"

namespace kaz {

cell unset_value;

namespace unset_type {

namespace {

// make and to ignore their arguments: a new unset! on the stack.
cell* make(cell*, cell*, uint32_t) { return stack::push_unset(); }

int32_t form(cell*, cell*, cell*, int32_t limit) { return limit; }

int32_t mold(cell*, cell* buffer, bool, bool all, bool, cell*, int32_t limit, int32_t) {
  string::append_ascii(series::node_of(buffer), all ? "#(unset)" : "unset");
  return limit - (all ? 8 : 5);
}

// Two unset! values are equal and never ordered.
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

cell* set_result() {
  stack::arguments->header = type::unset;
  return stack::arguments;
}

cell* push_value() { return stack::push_unset(); }

cell* append_to_block(cell* block) { return memory::append_to_block(block); }

void init() {
  unset_value = cell{type::unset, 0, 0, 0};
  registry::add(type::unset,
                {.make = make, .to = make, .form = form, .mold = mold, .compare = compare});
}

}  // namespace unset_type
}  // namespace kaz

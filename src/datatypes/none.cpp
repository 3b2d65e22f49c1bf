// none!: the absent value; its series actions answer none.
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "datatypes/simple_types.h"

namespace kaz {

cell none_value;

namespace none_type {

namespace {

// make and to ignore their arguments: a new none! on the stack.
cell* make(cell*, cell*, uint32_t) { return stack::push_none(); }

int32_t form(cell*, cell* buffer, cell*, int32_t limit) {
  string::append_ascii(series::node_of(buffer), "none");
  return limit - 4;
}

int32_t mold(cell*, cell* buffer, bool, bool all, bool, cell*, int32_t limit, int32_t) {
  string::append_ascii(series::node_of(buffer), all ? "#(none)" : "none");
  return limit - (all ? 7 : 4);
}

// Two none! values are equal and never ordered.
int32_t compare(cell*, cell* b, int32_t op) {
  if (type_of(b) != type::none) return -2;
  switch (op) {
    case 0: case 1: case 2: case 7: case 8: case 9: case 12:
      return 0;
    default:
      return -2;
  }
}

// find, select, take, remove and clear of none give none, whatever their arguments.
cell* clear(cell*) { return set_result(); }
cell* find(cell*, cell*, cell*, bool, bool, bool, bool, cell*, cell*, bool, bool, bool, bool) {
  return set_result();
}
cell* select(cell*, cell*, cell*, bool, bool, bool, bool, cell*, cell*, bool, bool) {
  return set_result();
}
cell* take(cell*, cell*, bool, bool) { return set_result(); }
cell* remove(cell*, cell*, cell*) { return set_result(); }
int32_t length(cell*) { return -1; }  // length? answers none

}  // namespace

cell* set_result() {
  stack::arguments->header = type::none;
  return stack::arguments;
}

cell* push_value() { return stack::push_none(); }

cell* append_to_block(cell* block) {
  cell* c = memory::append_to_block(block);
  c->header = type::none;
  return c;
}

void init() {
  none_value = cell{type::none, 0, 0, 0};
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

}  // namespace none_type
}  // namespace kaz

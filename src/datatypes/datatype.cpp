// datatype!: values that name a datatype.
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "datatypes/simple_types.h"

namespace kaz::datatype_type {

namespace {

int32_t form(cell* v, cell* buffer, cell*, int32_t limit) {
  uint32_t n = registry::name_length(v->data1);
  string::append_ascii(series::node_of(buffer), std::string_view(registry::name(v->data1), n));
  return limit - static_cast<int32_t>(n);
}

int32_t mold(cell* v, cell* buffer, bool, bool all, bool, cell*, int32_t limit, int32_t) {
  uint32_t n = registry::name_length(v->data1);
  if (all) string::append_ascii(series::node_of(buffer), "#(");
  string::append_ascii(series::node_of(buffer), registry::name(v->data1));
  if (all) string::append_ascii(series::node_of(buffer), ")");
  return limit - static_cast<int32_t>(n + 1) - (all ? 3 : 0);
}

int32_t compare(cell* a, cell* b, int32_t op) {
  switch (op) {
    case 0: case 1: case 2: case 9: case 12:
      return type_of(b) == type::datatype_ && b->data1 == a->data1 ? 0 : 1;
    default:
      return -2;
  }
}

}  // namespace

cell* push(uint32_t id) {
  cell* c = stack::reserve_cell();
  *c = cell{type::datatype_, id, 0, 0};
  return c;
}

cell* append_to_block(cell* block, uint32_t id) {
  cell* c = memory::append_to_block(block);
  *c = cell{type::datatype_, id, 0, 0};
  return c;
}

void init() { registry::add(type::datatype_, {.form = form, .mold = mold, .compare = compare}); }

}  // namespace kaz::datatype_type

// tag!: text shown between angle brackets, which the buffer does not hold.
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "datatypes/series_types.h"
#include "datatypes/string_actions.h"

namespace kaz::tag_type {

namespace {

// The brackets count against the budget like the text does.
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit) {
  string::append_ascii(series::node_of(buffer), "<");
  limit = string_type::form(value, buffer, part, limit - 1);
  string::append_ascii(series::node_of(buffer), ">");
  return limit - 1;
}

int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  return form(value, buffer, part, limit);
}

}  // namespace

void init() {
  registry::add(type::tag, {.form = form, .mold = mold},
                inherited::all_but(slot::random, slot::form, slot::mold, slot::put, slot::sort,
                                   slot::trim));
}

}  // namespace kaz::tag_type

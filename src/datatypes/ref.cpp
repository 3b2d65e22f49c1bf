// ref!: text molded after an "@", formed without it.
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "datatypes/series_types.h"
#include "datatypes/string_actions.h"

namespace kaz::ref_type {

namespace {

int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  string::append_ascii(series::node_of(buffer), "@");
  return string_type::form(value, buffer, part, limit - 1);
}

}  // namespace

void init() {
  registry::add(type::ref, {.mold = mold},
                inherited::all_but(slot::random, slot::mold, slot::eval_path, slot::append,
                                   slot::put, slot::sort, slot::trim));
}

}  // namespace kaz::ref_type

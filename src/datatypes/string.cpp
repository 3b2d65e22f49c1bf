// string!: text in one unit width per buffer.
#include "core/fire.h"
#include "core/stack.h"
#include "datatypes/registry.h"
#include "datatypes/series_types.h"
#include "datatypes/string_storage.h"

namespace kaz::string_type {

namespace {

int32_t form(cell* v, cell* buffer, cell* part, int32_t limit) {
  cell s = *v;
  uint32_t n = string::length_from_head(&s);
  int32_t count = part && limit >= 0 && static_cast<uint32_t>(limit) < n ? limit : -1;
  string::append_string(buffer->data2, &s, count);
  return limit - static_cast<int32_t>(count >= 0 ? count : static_cast<int32_t>(n));
}

int32_t mold(cell* v, cell* buffer, bool, bool all, bool, cell* part, int32_t limit, int32_t) {
  cell s = *v;
  return string::mold_text(&s, buffer->data2, all, part, limit);
}

int32_t compare(cell* a, cell* b, int32_t op) {
  uint32_t ta = type_of(a), tb = type_of(b);
  if (!is_any_string(tb)) return -2;
  if (ta != tb && (op == 2 || op == 9)) return 1;
  return string::compare_strings(a, b, op, false);
}

}  // namespace

void init() {
  registry::add(type::string, {.form = form, .mold = mold, .compare = compare},
                inherited(slot::random, slot::reflect, slot::at, slot::back, slot::clear,
                          slot::head, slot::head_q, slot::index_q, slot::length_q, slot::move,
                          slot::next, slot::pick, slot::poke, slot::remove, slot::reverse,
                          slot::skip, slot::tail, slot::tail_q, slot::modify));
}

}  // namespace kaz::string_type

// triple!: three 32-bit integers in words 1 to 3, used by the runtime internally. It has no
// literal form and no actions but its text.
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "datatypes/integer.h"
#include "datatypes/scalar_types.h"

namespace kaz::triple_type {

namespace {

int32_t form(cell* v, cell* buffer, cell*, int32_t limit) {
  char text[64] = "make triple! [";
  size_t n = 14;
  const uint32_t words[3] = {v->data1, v->data2, v->data3};
  for (uint32_t i = 0; i < 3; ++i) {
    if (i) text[n++] = ' ';
    n += integer_type::to_decimal(text + n, static_cast<int32_t>(words[i]));
  }
  text[n++] = ']';
  string::append_ascii(series::node_of(buffer), std::string_view(text, n));
  return limit - static_cast<int32_t>(n);
}

int32_t mold(cell* v, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  return form(v, buffer, part, limit);
}

}  // namespace

void init() { registry::add(type::triple, {.form = form, .mold = mold}); }

}  // namespace kaz::triple_type

// percent!: a float! shown as a percentage (0.5 is 50%). Only its text is its own; the float!
// routines apply the few percent rules where they meet one.
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "datatypes/float.h"
#include "datatypes/scalar_types.h"
#include "runtime/float_text.h"

namespace kaz::percent_type {

namespace {

int32_t form(cell* v, cell* buffer, cell*, int32_t limit) {
  char text[float_text_size];
  size_t n = float_::to_cstring(float_text_out(text, float_text_size), get_double(v) * 100.0,
                                float_::text_kind::percent64, float_type::pretty_print_q);
  string::append_ascii(series::node_of(buffer), std::string_view(text, n));
  return limit - static_cast<int32_t>(n);
}

int32_t mold(cell* v, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  return form(v, buffer, part, limit);
}

}  // namespace

void init() {
  registry::add(type::percent, {.form = form, .mold = mold},
                inherited::all_but(slot::form, slot::mold));
}

}  // namespace kaz::percent_type

// Changing the case of char! and string values in place.
#include "core/ownership.h"
#include "core/scalar_cell.h"
#include "core/series_cell.h"
#include "core/symbol.h"
#include "memory/case_map.h"
#include "memory/unicode_strings.h"
#include "memory/unicode_units.h"
#include "runtime/fire.h"

namespace kaz::unicode {

namespace {

// Units to change from the head: all of them, or as many as the part says.
uint32_t part_count(const cell* value, const cell* part, uint32_t available) {
  if (!part) return available;
  int64_t n;
  if (type_of(part) == type::integer) {
    n = integer_type::value_of(part);
  } else if (type_of(part) == type_of(value) && series::node_of(part) == series::node_of(value)) {
    n = int64_t(series::index_of(part)) - series::index_of(value);
  } else {
    cell refinement{type::refinement, 0, symbol::make("part"), 0};
    fire(err::script_invalid_refine_arg, &refinement, part);
  }
  if (n < 0) return 0;
  return n < available ? static_cast<uint32_t>(n) : available;
}

}  // namespace

void change_case_value(cell* value, const cell* part, bool upper) {
  uint32_t t = type_of(value);
  if (t == type::char_) {
    value->data2 = change_case_char(char_type::code_of(value), upper);
    return;
  }
  if (!is_any_string(t)) return;
  node_t node = series::node_of(value);
  {
    series_buffer* s = memory::buffer_of(node);
    uint32_t total = s->tail / (s->unit() ? s->unit() : 1);
    if (value->data1 > total) value->data1 = total;
  }
  uint32_t head = series::index_of(value);
  uint32_t count = part_count(value, part, text_from_head(value).count);
  for (uint32_t i = 0; i < count;) {
    series_buffer* s = memory::buffer_of(node);
    uint32_t unit = s->unit();
    i += static_cast<uint32_t>(change_case_units(s->data_rw() + size_t(head + i) * unit, count - i, unit, upper));
    if (i < count) {  // the next mapping needs a wider unit
      uint32_t c = get_char(s->data() + size_t(head + i) * unit, unit);
      widen_to(s, unit_for(change_case_char(c, upper)));
    }
  }
  if (memory::buffer_of(node)->flags & series_flag::owned) {
    cell target = *value;
    cell action{type::word, 0, symbol::make(upper ? "uppercase" : "lowercase"), 0};
    ownership::check(&target, &action, nullptr, static_cast<int32_t>(head), static_cast<int32_t>(count));
  }
}

}  // namespace kaz::unicode

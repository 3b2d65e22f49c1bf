// Output natives: print and prin hand the formed text to the print hooks.
#include "core/actions.h"
#include "core/natives.h"
#include "datatypes/block_storage.h"
#include "datatypes/string_storage.h"
#include "runtime/output_hooks.h"

namespace kaz::natives {

namespace {

bool last_lf = false;  // whether the last output came from print (which ends the line)

// Reduces a block, forms the value (a string as it stands) and hands it to the hooks.
flow print_value(bool line_end) {
  cell value = *stack::arguments;
  if (type_of(&value) == type::block) {
    int32_t none[1] = {-1};
    flow f = reduce(none);
    if (f != flow::normal) return f;
    value = *stack::arguments;
  }
  cell text;
  if (type_of(&value) == type::string) {
    text = value;
    string::rs_head(&text);
  } else {
    cell buffer;
    string::make_at(&buffer, 16);
    cell* held = stack::push(&buffer);
    actions::form(&value, held, nullptr, 0x7FFFFFFF);
    text = *held;
  }
  series_buffer* s = string::buffer_of(&text);
  uint32_t unit = s->unit();
  uint32_t length = string::length_from_head(&text);
  sysrt::unit_text view{s->data() + uint64_t(text.data1) * unit, size_t(length) * unit, unit};
  sysrt::call_print_hooks(view, line_end);
  last_lf = line_end;
  stack::arguments->header = type::unset;
  stack::top = stack::arguments + 1;
  return flow::normal;
}

}  // namespace

bool last_line_end() { return last_lf; }

flow print(const int32_t*) { return print_value(true); }
flow prin(const int32_t*) { return print_value(false); }

}  // namespace kaz::natives

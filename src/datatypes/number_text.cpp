// The lexer's readers over the text of a string-family value, from its head to its tail.
#include "datatypes/number_text.h"
#include "datatypes/text_loader.h"

#include "core/block_storage.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "datatypes/integer.h"
#include "runtime/fire.h"

namespace kaz::number_text {

namespace {

struct text_units {
  const uint8_t* units;
  uint32_t count;
  uint32_t unit;
};

text_units units_of(const cell* text) {
  cell t = *text;
  uint32_t count = string::length_from_head(&t);
  const uint8_t* p = string::rs_head(&t);
  return {p, count, string::buffer_of(&t)->unit()};
}

}  // namespace

bool to_integer(const cell* text, int32_t* out) {
  text_units t = units_of(text);
  int32_t error;
  *out = text_loader::scan_integer(t.units, t.count, t.unit, error);
  return error == 0;
}

bool to_float(const cell* text, double* out) {
  text_units t = units_of(text);
  int32_t error;
  *out = text_loader::text_to_float(t.units, t.count, t.unit, error);
  return error == 0;
}

bool scan_value(const cell* text, cell* out) {
  std::string utf8 = string::to_utf8(text);
  stack::saved_state saved = stack::save();
  try {
    cell* values = stack::reserve_cell();
    text_loader::load_text_block(utf8, values);
    bool one = block::rs_length(values) == 1;
    if (one) {
      *out = *block::rs_head(values);
      out->header &= ~new_line_flag;
    }
    stack::unwind_to(saved);
    return one;
  } catch (const language_error&) {
    // A syntax error means the text is no value of the wanted type.
    stack::unwind_to(saved);
    return false;
  }
}

bool to_percent(const cell* text, double* out) {
  cell v;
  if (!scan_value(text, &v)) return false;
  switch (type_of(&v)) {
    case type::integer:
      *out = integer_type::value_of(&v);
      return true;
    case type::float_:
    case type::percent:
      *out = get_double(&v);
      return true;
    default:
      return false;
  }
}

}  // namespace kaz::number_text

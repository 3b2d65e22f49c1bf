// The writing core of to-csv: values formed straight onto the line, quoted where reading them
// back needs it.
#include "library/csv_line.h"

#include <vector>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "datatypes/scalar_types.h"
#include "runtime/fire.h"

namespace kaz::library::csv {

namespace {

bool needs_quotes(const string::text& t, uint32_t quote, const std::vector<uint32_t>& delimiter) {
  for (uint32_t i = 0; i < t.length; ++i) {
    uint32_t c = t.at(i);
    if (c == quote || c == ' ' || c == '\n' || c == '\r') return true;
    for (uint32_t d : delimiter)
      if (c == d) return true;
  }
  return false;
}

// Appends the text between quote characters, each quote character doubled. The text is read
// again after every append: appending may move its buffer.
void append_quoted(node_t out, const cell* text, uint32_t quote) {
  string::append_code_point(out, quote);
  uint32_t length = string::length_from_head(text);
  uint32_t from = 0;
  for (uint32_t i = 0; i <= length; ++i) {
    if (i < length && string::text_of(text).at(i) != quote) continue;
    cell part = *text;
    series::set_index(&part, series::index_of(&part) + from);
    string::append_string(out, &part, static_cast<int32_t>(i - from));
    if (i < length) string::append_code_point(out, quote);
    from = i;  // the quote character itself starts the next part: it is written twice
  }
  string::append_code_point(out, quote);
}

}  // namespace

void write_line(cell* a) {
  if (type_of(&a[0]) != type::string) fire(err::script_invalid_arg, &a[0]);
  if (type_of(&a[1]) != type::block) fire(err::script_invalid_arg, &a[1]);
  if (type_of(&a[3]) != type::char_) fire(err::script_invalid_arg, &a[3]);
  std::vector<uint32_t> delimiter;
  if (type_of(&a[2]) == type::char_) {
    delimiter.push_back(char_type::code_of(&a[2]));
  } else if (type_of(&a[2]) == type::string) {
    string::text d = string::text_of(&a[2]);
    for (uint32_t i = 0; i < d.length; ++i) delimiter.push_back(d.at(i));
  }
  // No delimiter would glue the values together: refused, as the reader refuses it.
  if (delimiter.empty()) fire(err::script_invalid_arg, &a[2]);
  uint32_t quote = char_type::code_of(&a[3]);
  // Nor can a delimiter holding a line break or the quote be read back.
  for (uint32_t c : delimiter)
    if (c == '\n' || c == '\r' || c == quote) fire(err::script_invalid_arg, &a[2]);
  node_t out = series::node_of(&a[0]);
  uint32_t base = stack::index_of(stack::top);
  cell* data = stack::push(&a[1]);
  cell* formed = stack::reserve_cell();
  string::make_at(formed, 64);
  uint32_t count = block::length_from_head(data);
  for (uint32_t i = 0; i < count && i < block::length_from_head(data); ++i) {
    if (i > 0) {
      for (uint32_t d : delimiter) string::append_code_point(out, d);
    }
    cell value = block::rs_head(data)[i];
    const cell* text = &value;
    if (type_of(&value) != type::string) {
      string::reset(formed);
      actions::form(&value, formed, nullptr, 0x7FFFFFFF);
      text = formed;
    }
    if (needs_quotes(string::text_of(text), quote, delimiter)) {
      append_quoted(out, text, quote);
    } else {
      string::append_string(out, text);
    }
  }
  string::append_code_point(out, '\n');
  stack::top = stack::at_index(base);
}

}  // namespace kaz::library::csv

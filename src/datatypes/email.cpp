// email!: text molded as it is, with the parts before and after its "@" reachable as
// e/user and e/host.
#include <algorithm>

#include "core/registry.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/series_types.h"
#include "datatypes/string_actions.h"
#include "runtime/fire.h"

namespace kaz::email_type {

namespace {

int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  return string_type::form(value, buffer, part, limit);
}

/*
 * e/user is the text before the first "@" (all of it without one), e/host the text after it
 * (empty without one). Reading answers a new string!; setting changes that part of the email's
 * own text and answers the value set. An integer picks or pokes a character as in a string.
 */
const cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* gparent,
                cell* p_item, int32_t index, bool case_, bool get, bool tail) {
  uint32_t et = type_of(element);
  if (et == type::integer)
    return string_type::eval_path(parent, element, value, path, gparent, p_item, index, case_,
                                  get, tail);
  uint32_t name = et == type::word ? symbol::resolve(word::symbol_of(element)) : 0;
  bool user = name == symbol::resolve(symbol::make("user"));
  bool host = name == symbol::resolve(symbol::make("host"));
  if (!user && !host) fire(err::script_invalid_path, path, element);
  uint32_t length = string::length_from_head(parent);
  int32_t at = string::index_of_char(parent, '@');
  uint32_t split = at < 0 ? length : static_cast<uint32_t>(at);
  cell* part = string::push(parent);
  part->data1 = std::min(parent->data1, string::absolute_length(parent));
  uint32_t count = split;
  if (host) {
    part->data1 += std::min(split + 1, length);
    count = string::length_from_head(part);
  }
  if (value) {
    string_type::change(part, value, static_cast<int32_t>(count), false, 1);
    return value;
  }
  series_buffer* s = string::buffer_of(part);
  *part = cell{type::string, 0, memory::copy_part(s, part->data1, count), 0};
  return part;
}

}  // namespace

void init() {
  registry::add(type::email, {.mold = mold, .eval_path = eval_path},
                inherited::all_but(slot::random, slot::mold, slot::eval_path, slot::put,
                                   slot::sort, slot::trim));
}

}  // namespace kaz::email_type

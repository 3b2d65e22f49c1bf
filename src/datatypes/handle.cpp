// handle!: formed as eight hexadecimal digits and "h"; molded as handle! unless /all.
#include "datatypes/handle.h"

#include <cstdio>
#include <string_view>

#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "memory/series.h"

namespace kaz::handle_type {

namespace {

constexpr uint32_t no_resource = 0xFFFFFFFF;

// Mold names by class; class 0 writes none.
constexpr std::string_view class_names[] = {"", "fd", "monitor", "window", "font", "rich-text"};

int32_t form(cell* v, cell* buffer, cell*, int32_t limit) {
  char text[12];
  std::snprintf(text, sizeof text, "%08Xh", v->data2);
  string::append_ascii(series::node_of(buffer), std::string_view(text, 9));
  return limit - 9;
}

int32_t mold(cell* v, cell* buffer, bool, bool all, bool, cell* part, int32_t limit, int32_t) {
  if (!all) {
    string::append_ascii(series::node_of(buffer), "handle!");
    return limit - 7;
  }
  string::append_ascii(series::node_of(buffer), "#[handle! ");
  limit = form(v, buffer, part, limit - 10);
  if (v->data1 > 0 && v->data1 < std::size(class_names)) {
    std::string_view name = class_names[v->data1];
    string::append_ascii(series::node_of(buffer), " ");
    string::append_ascii(series::node_of(buffer), name);
    limit -= 1 + static_cast<int32_t>(name.size());
  }
  string::append_ascii(series::node_of(buffer), "]");
  return limit - 1;
}

// Only another handle can be equal; the values order it, the classes play no part.
int32_t compare(cell* a, cell* b, int32_t) {
  if (type_of(b) != type::handle) return 1;
  int32_t x = static_cast<int32_t>(a->data2), y = static_cast<int32_t>(b->data2);
  return x < y ? -1 : x > y ? 1 : 0;
}

}  // namespace

cell* init_cell(cell* c, uint32_t value, uint32_t kind) {
  *c = cell{type::handle, kind, value, no_resource};
  return c;
}

cell* box(uint32_t value, uint32_t kind) {
  return init_cell(stack::arguments, value, kind);
}

cell* append_cell(const cell* block, uint32_t value, uint32_t kind) {
  return init_cell(memory::append_to_block(block), value, kind);
}

cell* push(uint32_t value, uint32_t kind) { return init_cell(stack::reserve_cell(), value, kind); }
cell* push_null() { return push(0, class_::null); }

void init() { registry::add(type::handle, {.form = form, .mold = mold, .compare = compare}); }

}  // namespace kaz::handle_type

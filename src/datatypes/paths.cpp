// paren! and the path family: blocks that differ in how they are molded and formed.
#include "core/actions.h"
#include "core/cycle_guard.h"
#include "datatypes/block_storage.h"
#include "datatypes/registry.h"
#include "datatypes/series_types.h"
#include "datatypes/string_storage.h"

namespace kaz::path_types {

namespace {

int32_t mold_paren(cell* b, cell* buffer, bool only, bool all, bool flat, cell* part,
                   int32_t limit, int32_t indent) {
  return block_type::mold_delimited(b, buffer, "(", ")", only, all, flat, part, limit, indent);
}

// The values joined by "/", formed or molded.
int32_t walk(cell* p, cell* buffer, bool mold, bool all, bool flat, cell* part, int32_t limit) {
  cell path = *p;
  cycle_guard guard(path.data2);
  if (!guard.entered()) {
    string::append_ascii(buffer->data2, "...");
    return limit - 3;
  }
  int32_t n = block::rs_length(&path);
  for (int32_t i = 0; i < n; ++i) {
    if (i > 0) {
      string::append_ascii(buffer->data2, "/");
      --limit;
    }
    cell v = *(block::rs_head(&path) + i);
    limit = mold ? actions::mold(&v, buffer, false, all, flat, part, limit, 0)
                 : actions::form(&v, buffer, part, limit);
    if (part && limit < 1) break;
    n = block::rs_length(&path);
  }
  return limit;
}

int32_t form(cell* p, cell* buffer, cell* part, int32_t limit) {
  return walk(p, buffer, false, false, false, part, limit);
}

int32_t mold(cell* p, cell* buffer, bool, bool all, bool flat, cell* part, int32_t limit,
             int32_t) {
  uint32_t t = type_of(p);
  if (t == type::lit_path || t == type::get_path) {
    string::append_ascii(buffer->data2, t == type::lit_path ? "'" : ":");
    --limit;
  }
  limit = walk(p, buffer, true, all, flat, part, limit);
  if (t == type::set_path) {
    string::append_ascii(buffer->data2, ":");
    --limit;
  }
  return limit;
}

}  // namespace

void init_paren() {
  registry::add(type::paren, {.mold = mold_paren},
                inherited::all_but(slot::mold, slot::trim));
}

void init_paths() {
  inherited all = inherited::all_but(slot::form, slot::mold, slot::random, slot::sort,
                                     slot::trim);
  registry::add(type::path, {.form = form, .mold = mold}, all);
  for (uint32_t t : {type::lit_path, type::set_path, type::get_path})
    registry::add(t, {.mold = mold}, inherited::all_but(slot::mold));
}

}  // namespace kaz::path_types

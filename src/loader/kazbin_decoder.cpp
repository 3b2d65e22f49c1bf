#include "loader/kazbin_decoder.h"

#include <string_view>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/function.h"
#include "core/object.h"
#include "core/series_cell.h"
#include "core/symbol.h"
#include "core/word.h"
#include "memory/unicode_utf8.h"

namespace kaz::kazbin {

/*
 * Symbols. The header's counts were checked against the bytes left when they were read; here
 * every name must start inside the area, end with a zero byte inside it, be non-empty and be
 * valid UTF-8.
 */
namespace {

uint32_t offset_of(const uint8_t* table, uint32_t offsets_at, uint32_t index) {
  const uint8_t* p = table + offsets_at + 4 * index;
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

uint32_t decoder::map_symbol(uint32_t index, uint32_t at) {
  if (index >= symbol_count) in.invalid_at(at);
  // Each name is checked and interned once, however often the data names it.
  if (mapped.size() != symbol_count) mapped.assign(symbol_count, 0);
  if (mapped[index]) return mapped[index];  // a name met before
  const uint8_t* base = table ? table : in.data;
  uint32_t offset = offset_of(base, offsets_at, index);
  uint32_t size = area_end - area_at;
  if (offset >= size) in.invalid_at(at);
  const uint8_t* name = base + area_at + offset;
  const uint8_t* end = base + area_end;
  const uint8_t* p = name;
  while (p < end && *p) {
    if (*p < 0x80) {  // ASCII, valid as it stands
      ++p;
      continue;
    }
    size_t used = 0;
    if (unicode::utf8_decode_char(p, static_cast<size_t>(end - p), used) < 0) in.invalid_at(at);
    p += used;
  }
  if (p == end || p == name) in.invalid_at(at);
  uint32_t id = symbol::make(std::string_view(reinterpret_cast<const char*>(name),
                                              static_cast<size_t>(p - name)));
  mapped[index] = id;
  return id;
}

void decoder::check_symbol_table(uint32_t at) {
  if (area_end > area_at && in.data[area_end - 1] != 0) in.invalid_at(at);
}

void decoder::map_all_symbols() {
  for (uint32_t i = 0; i < symbol_count; ++i) symbol_at(i, offsets_at + 4 * i);
}

// A word's global slot never changes, so each name is looked up there once.
void decoder::bind_new_global(cell* word, uint32_t index) {
  if (type_of(word) == type::refinement) return;  // unbound, as the lexer makes them
  if (globals.size() != symbol_count) globals.assign(symbol_count, 0);
  if (index < symbol_count && globals[index]) {
    word->data1 = context::global;
    word->data3 = globals[index] - 1;
    return;
  }
  bind_global(word);
  if (index < symbol_count && word::context_of(word) == context::global) globals[index] = word::index_of(word) + 1;
}

/*
 * Paths. Each index steps into the value reached so far: a block's cells (absolute, the whole
 * series was written), a word's, object's or error's context values (an error's from its
 * first argument), a native's or action's spec cells, a function's spec (0) or body (1), an op's
 * spec (0). Anything else, or an index out of range, makes the record invalid.
 */
void decoder::read_path() {
  uint32_t at = in.pos;
  uint32_t count = compact ? in.read_varint() : in.read_int32();
  if (count < 1 || count > max_path) in.invalid_at(at);
  in.checked_count(count, compact ? 1 : 4);
  path.clear();
  for (uint32_t k = 0; k < count; ++k) path.push_back(compact ? in.read_varint() : in.read_int32());
}

namespace {

bool step_block(node_t node, uint32_t index, cell& v) {
  if (!memory::valid_node(node) || index >= block_length(node)) return false;
  v = memory::buffer_of(node)->cells()[index];
  return type_of(&v) != 0;  // a removed map! pair's value
}

bool step_context(node_t ctx, uint32_t index, cell& v) {
  if (context::on_stack(ctx) || index >= context::size(ctx)) return false;
  const cell* values = context::values(ctx);
  if (!values || index >= block_length(context::header_cell(ctx)->data2)) return false;
  v = values[index];
  return true;
}

cell function_body(const cell& f) { return function::extra_cells(&f)[extra::body]; }

// A function still being read may not have its spec or its extra cells yet.
bool step_function(const cell& f, uint32_t index, cell& v) {
  if (index == 0) {
    if (!memory::valid_node(function::spec_of(&f))) return false;
    v = cell{type::block, 0, function::spec_of(&f), 0};
    return true;
  }
  if (index == 1 && type_of(&f) == type::function) {
    if (!memory::valid_node(function::extra_of(&f)) || block_length(function::extra_of(&f)) <= extra::body) return false;
    v = function_body(f);
    return type_of(&v) == type::block && memory::valid_node(series::node_of(&v));
  }
  return false;
}

}  // namespace

cell decoder::resolve(uint32_t at) const {
  cell v{type::block, 0, root, 0};
  for (size_t k = 0; k < path.size(); ++k) {
    uint32_t index = path[k];
    uint32_t t = type_of(&v);
    bool ok = false;
    if (k == 0) {
      ok = index <= UINT32_MAX - root_base && step_block(root, root_base + index, v);
    } else if (is_any_block(t) || t == type::map) {
      ok = step_block(series::node_of(&v), index, v);
    } else if (t >= type::word && t <= type::refinement && word::context_of(&v)) {
      cell owner = *context::owner_cell(word::context_of(&v));
      if (type_of(&owner) == type::function)
        ok = step_function(owner, index, v);
      else
        ok = step_context(word::context_of(&v), index, v);
    } else if (t == type::object) {
      ok = step_context(object::context_of(&v), index, v);
    } else if (t == type::error) {
      ok = index <= 5 && step_context(object::context_of(&v), index + 3, v);
    } else if (t == type::native || t == type::action) {
      ok = step_block(function::spec_of(&v), index, v);
    } else if (t == type::function || t == type::op) {
      ok = step_function(v, index, v);
    }
    if (!ok) in.invalid_at(at);
  }
  return v;
}

}  // namespace kaz::kazbin

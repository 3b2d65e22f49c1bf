#include "loader/kazbin_encoder.h"

#include "core/context.h"
#include "core/function.h"
#include "core/symbol.h"
#include "core/word.h"
#include "loader/kazbin_format.h"
#include "runtime/fire.h"

namespace kaz::kazbin {

uint32_t encoder::symbol(uint32_t id) {
  auto found = symbol_index.find(id);
  if (found != symbol_index.end()) return found->second;
  auto index = static_cast<uint32_t>(offsets.size());
  symbol_index.emplace(id, index);
  offsets.push_back(static_cast<uint32_t>(area.size()));
  area += symbol::spelling(id);
  area.push_back('\0');
  if (plain) area.resize((area.size() + 7) & ~size_t(7), '\0');
  return index;
}

const uint32_t* encoder::find(node_t node) const {
  auto found = known.find(node);
  return found == known.end() ? nullptr : paths.data() + found->second;
}

void encoder::enter(node_t node) {
  if (++depth > max_depth) fire(err::internal_too_deep);
  positions.push_back(counter);
  counter = 0;
  if (node && !known.count(node)) {
    known.emplace(node, static_cast<uint32_t>(paths.size()));
    paths.push_back(static_cast<uint32_t>(positions.size()));
    paths.insert(paths.end(), positions.begin(), positions.end());
  }
}

void encoder::leave() {
  --depth;
  counter = positions.back();
  positions.pop_back();
}

void encoder::emit_int32(uint32_t v) {
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

void encoder::emit_varint(uint32_t v) {
  while (v >= 0x80) {
    out.push_back(static_cast<uint8_t>(v | 0x80));
    v >>= 7;
  }
  out.push_back(static_cast<uint8_t>(v));
}

std::vector<uint8_t> encoder::container() const {
  encoder head(plain);
  head.emit_bytes(magic, sizeof magic);
  head.emit_byte(version);
  bool symbols = !offsets.empty() && !table_apart;
  head.emit_byte(static_cast<uint8_t>((plain ? 0 : flag::compact) | (symbols ? flag::symbols : 0)));
  auto count = [&](uint32_t v) { plain ? head.emit_int32(v) : head.emit_varint(v); };
  count(1);
  count(static_cast<uint32_t>(out.size()));
  if (symbols) {
    count(static_cast<uint32_t>(offsets.size()));
    count(static_cast<uint32_t>(area.size()));
    for (uint32_t o : offsets) head.emit_int32(o);
    head.emit_bytes(reinterpret_cast<const uint8_t*>(area.data()), area.size());
  }
  head.emit_bytes(out.data(), out.size());
  return std::move(head.out);
}

std::vector<uint8_t> encoder::table() const {
  encoder t(false);
  t.emit_varint(static_cast<uint32_t>(offsets.size()));
  t.emit_varint(static_cast<uint32_t>(area.size()));
  for (uint32_t o : offsets) t.emit_int32(o);
  t.emit_bytes(reinterpret_cast<const uint8_t*>(area.data()), area.size());
  return std::move(t.out);
}

void no_codec(uint32_t type_id) {
  cell dt{type::datatype_, type_id, 0, 0};
  fire(err::access_no_codec, &dt);
}

bool values_follow(node_t ctx) {
  if (context::on_stack(ctx)) return false;
  uint32_t n = context::size(ctx);
  for (uint32_t k = 0; k < n; ++k) {
    if (type_of(context::values(ctx) + k) != type::unset) return true;
  }
  return false;
}

void function_blocks(const cell* f, cell* spec, cell* body) {
  *body = function::extra_cells(f)[extra::body];
  if (type_of(body) != type::block) no_codec(type::function);
  *spec = cell{type::block, 0, function::spec_of(f), 0};
}

node_t word_context(const cell* word) {
  node_t ctx = word::context_of(word);
  if (!ctx || ctx == context::global) return 0;
  uint32_t owner = type_of(context::owner_cell(ctx));
  return owner == type::object || owner == type::function ? ctx : 0;
}

}  // namespace kaz::kazbin

#include "eval/fast_paths.h"

#include <cstring>

#include "core/actions.h"
#include "core/context.h"
#include "core/object.h"
#include "core/scalar_cell.h"
#include "core/symbol.h"
#include "core/typeset.h"
#include "core/word.h"
#include "core/words.h"
#include "memory/collector.h"

namespace kaz::fast_paths {

namespace {

int32_t compare_op(int kind) {
  switch (kind) {
    case equal: return actions::op::equal;
    case not_equal: return actions::op::not_equal;
    case strict_equal: return actions::op::strict_equal;
    case lesser: return actions::op::lesser;
    case greater: return actions::op::greater;
    case lesser_or_equal: return actions::op::lesser_or_equal;
    default: return actions::op::greater_or_equal;
  }
}

// Lookups of object fields by symbol: (context, symbol) -> slot. A context's slots never
// change once given and its words are never removed; the table is emptied at every
// collection, the only time a context node can die or change.
struct field_entry {
  node_t ctx;
  uint32_t symbol;
  uint32_t index;
};
constexpr uint32_t field_cache_size = 256;
field_entry field_cache[field_cache_size];

void clear_field_cache() { std::memset(field_cache, 0, sizeof field_cache); }

inline field_entry& entry_for(node_t ctx, uint32_t symbol) {
  return field_cache[((ctx * 0x9E3779B1u) ^ (symbol * 0x85EBCA6Bu)) >> 24];
}

// A field not in the cache yet: looked up and kept.
[[gnu::noinline]] int32_t learn_field(node_t ctx, uint32_t symbol) {
  int32_t index = context::find_symbol(ctx, symbol, true);
  if (index >= 0) entry_for(ctx, symbol) = {ctx, symbol, static_cast<uint32_t>(index)};
  return index;
}

// The slot an object's eval-path step finds for a word element, or -1.
inline int32_t field_index(node_t ctx, const cell* element) {
  if (word::context_of(element) == ctx && word::index_of(element) != context::unresolved)
    return static_cast<int32_t>(word::index_of(element));
  uint32_t symbol = word::symbol_of(element);
  const field_entry& e = entry_for(ctx, symbol);
  if (e.ctx == ctx && e.symbol == symbol) return static_cast<int32_t>(e.index);
  return learn_field(ctx, symbol);
}

void clear_operator_cache() {
  std::memset(detail::operator_cache, 0, sizeof detail::operator_cache);
}

inline bool word_key(uint32_t t) {
  return t == type::word || t == type::set_word || t == type::get_word || t == type::lit_word;
}

}  // namespace

namespace detail {
operator_entry operator_cache[operator_cache_size];
}  // namespace detail

bool learn_operator(const cell* op) {
  node_t extra = function::extra_of(op);
  detail::operator_entry& e = detail::operator_cache[detail::operator_slot(extra)];
  const cell* block = function::extra_cells(op) + 1;  // an action's or native's descriptors
  if (type_of(block) != type::block) return false;    // not built yet: the call builds them
  series_buffer* b = memory::buffer_of(series::node_of(block));
  const cell* d = b->cells();
  const cell* end = b->cells_tail() - 1;  // the count cell
  uint32_t args = 0;
  bool plain = true;
  for (; d < end && type_of(d) == type::typeset && args < 2; ++d) {
    uint32_t k = (d->header >> arg_kind::shift) & 3;
    if (k == arg_kind::ret) continue;
    ++args;
    if (k != arg_kind::normal || !typeset::has(d, type::integer) || !typeset::has(d, type::float_))
      plain = false;
  }
  e = {extra, plain && args == 2};
  return e.plain;
}

bool mixed(int kind, cell* left, const cell* right) {
  uint32_t tl = type_of(left), tr = type_of(right);
  if (!number_operand(left) || !number_operand(right)) return false;
  if (kind >= equal) {
    // The comparison natives' own rule (near-equality of floats, NaN ordering).
    put_logic(left, actions::compare(left, right, compare_op(kind)));
    return true;
  }
  if (kind == remainder) return false;
  // As float! arithmetic gives it: the result is a float!, whatever the left operand was.
  double x = tl == type::integer ? double(integer_type::value_of(left)) : get_double(left);
  double y = tr == type::integer ? double(integer_type::value_of(right)) : get_double(right);
  double r;
  switch (kind) {
    case add: r = x + y; break;
    case subtract: r = x - y; break;
    case multiply: r = x * y; break;
    default: r = x / y; break;
  }
  set_type(left, type::float_);
  put_double(left, r);
  return true;
}

const cell* object_field(const cell* object, const cell* element) {
  if (!word_key(type_of(element))) return nullptr;
  node_t ctx = object::context_of(object);
  int32_t index = field_index(ctx, element);
  if (index < 0) return nullptr;
  const cell* vals = context::values(ctx);
  if (!vals) return nullptr;
  const cell* v = vals + index;
  if (type_of(v) == type::unset) return nullptr;
  return v;
}

bool set_object_field(const cell* object, const cell* element, const cell* value) {
  if (!word_key(type_of(element))) return false;
  node_t ctx = object::context_of(object);
  int32_t index = field_index(ctx, element);
  if (index < 0 || symbol::resolve(word::symbol_of(element)) == symbol::resolve(words::sym.self))
    return false;
  if (!context::values(ctx)) return false;
  if (context::kind(ctx) == context::kind_object) {
    const cell* owner = context::owner_cell(ctx);
    if (object::hooks_of(owner) != 0 && type_of(owner) == type::object)
      return false;  // its handler runs
    context::words_rw(ctx)[index].header |= context_flag::word_set;
  }
  context::values_rw(ctx)[index] = *value;
  return true;
}

void init() {
  clear_field_cache();
  clear_operator_cache();
  collector::add_mark_callback(clear_field_cache);
  collector::add_mark_callback(clear_operator_cache);
}

}  // namespace kaz::fast_paths

// Values that own series or contexts, built the same way by both KAZBIN readers.
#include <cstring>

#include "core/block_storage.h"
#include "core/context.h"
#include "core/error.h"
#include "core/function.h"
#include "core/object.h"
#include "core/registry.h"
#include "core/word.h"
#include "loader/kazbin_decoder.h"
#include "runtime/fire.h"

namespace kaz::kazbin {

uint32_t append_slot(node_t block) {
  uint32_t index = block_length(block);
  memory::append_cell(block);
  return index;
}

void cut_block(node_t block, uint32_t length) {
  series_buffer* s = memory::buffer_of(block);
  if (s->length() > length) s->tail = s->offset + length * 16;
}

node_t new_context(const uint32_t* symbols, uint32_t n, uint32_t kind, bool on_stack) {
  node_t ctx = context::create(n, on_stack, false, 0, kind);
  for (uint32_t i = 0; i < n; ++i) {
    if (context::add_word(ctx, symbols[i]) != i) return 0;
  }
  return ctx;
}

bool error_of_code(uint32_t code, cell* out) {
  constexpr uint16_t count = 0
#define ERROR_CATEGORY(index, cname, word, display)
#define ERROR(cat, id, code, word, tmpl) +1
#include "runtime/errors.def"
#undef ERROR
#undef ERROR_CATEGORY
      ;
  for (uint16_t k = 0; k < count; ++k) {
    err e = static_cast<err>(k);
    if (error_info(e).code == code) {
      error::create(out, e, nullptr, nullptr, nullptr);
      return true;
    }
  }
  return false;
}

namespace {

// A spec the interpreter can call through: checked as `make function!` checks it.
bool valid_spec(cell* spec) {
  cell saved = error::in_flight;
  try {
    function::validate_spec(spec);
    return true;
  } catch (const language_error&) {
    error::in_flight = saved;
    return false;
  }
}

}  // namespace

bool make_function(cell* out, node_t ctx, node_t spec, const cell* body) {
  cell s{type::block, 0, spec, 0};
  if (!valid_spec(&s)) return false;
  // The context must be the one the spec makes: the interpreter indexes it by argument.
  node_t expected = context::make_from_spec(&s, true, false, 0);
  uint32_t n = context::size(expected);
  if (context::size(ctx) != n || !context::on_stack(ctx)) return false;
  for (uint32_t i = 0; i < n; ++i) {
    if (word::symbol_of(&context::words(ctx)[i]) != word::symbol_of(&context::words(expected)[i])) return false;
  }
  node_t extra_node = memory::alloc_cells_cleared(5);
  series_buffer* x = memory::buffer_of(extra_node);
  x->tail = x->offset + 5 * 16;
  cell* e = x->cells_rw();
  e[extra::body] = *body;
  e[extra::body].data3 = 0;
  e[extra::descriptors].header = type::unset;
  e[extra::code].header = type::unset;
  e[extra::op_function].header = type::unset;
  e[extra::lookup].header = type::unset;
  *out = cell{type::function, ctx, spec, extra_node};
  *context::owner_cell_rw(ctx) = *out;
  return true;
}

namespace {

// The runtime's own native! or action! of a table entry, found among the global words.
bool runtime_native(uint32_t type_id, uint32_t index, cell* out) {
  const cell* values = context::values(context::global);
  uint32_t n = context::size(context::global);
  for (uint32_t i = 0; i < n; ++i) {
    if (type_of(values + i) == type_id && function::table_index_of(values + i) == index) {
      *out = values[i];
      out->header = type_id;
      return true;
    }
  }
  return false;
}

}  // namespace

bool make_native(cell* out, uint32_t type_id, uint32_t index, const cell* spec) {
  bool exists = type_id == type::native ? function::native_table_entry(index) != nullptr
                                        : index >= 1 && index <= 62 &&
                                              function::action_table_entry(index) != nullptr;
  if (!exists) return false;
  // Data from outside cannot give a native another spec: the entry reads its arguments by
  // the positions its own spec gives them.
  if (spec == nullptr) return runtime_native(type_id, index, out);
  cell s = *spec;
  if (!valid_spec(&s)) return false;
  function::make_native(out, type_id, &s, index);
  return true;
}

bool make_op(cell* out, const cell* wrapped) {
  cell saved = error::in_flight;
  try {
    cell w = *wrapped;
    registry::row(type::op).make(out, &w, type::op);
    return true;
  } catch (const language_error&) {
    error::in_flight = saved;
    return false;
  }
}

node_t context_of(const cell* v) {
  uint32_t t = type_of(v);
  node_t ctx = 0;
  if ((t >= type::word && t <= type::refinement) || t == type::object || t == type::function)
    ctx = t == type::object ? object::context_of(v) : t == type::function ? function::context_of(v) : word::context_of(v);
  else if (t == type::op && ((v->header >> 16) & 0xFF) == type::function)
    ctx = function::context_of(v);
  if (!ctx || !memory::valid_node(ctx)) return 0;
  return ctx;
}

bool bind_to(cell* word, node_t ctx, int32_t index) {
  if (index < -1 || index >= static_cast<int32_t>(context::size(ctx))) return false;
  word->data1 = ctx;
  word->data3 = static_cast<uint32_t>(index);
  return true;
}

void bind_global(cell* word) {
  if (type_of(word) == type::refinement) return;  // unbound, as the lexer makes them
  cell w;
  context::intern_global(word::symbol_of(word), &w);
  word->data1 = word::context_of(&w);
  word->data3 = word::index_of(&w);
}

bool known_datatype(uint32_t id) {
  return id >= 1 && id <= registry::highest_id() && registry::registered(id);
}

}  // namespace kaz::kazbin

#include "core/function.h"

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/context.h"
#include "core/evaluator.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/typeset.h"
#include "core/word.h"
#include "core/words.h"
#include "runtime/fire.h"

namespace kaz::function {

bool declaring_routines = false;

namespace {

}  // namespace

native_entry natives_table[120];
native_entry actions_table[62];

namespace {
routine_entry routines_table[max_routines];
int32_t routine_results[max_routines];

[[noreturn]] void bad_spec(cell* spec) { fire(err::script_bad_func_def, spec); }

bool is_type_name(const cell* v) {
  if (type_of(v) != type::word) return false;
  cell w = *v;
  const cell* value = nullptr;
  if (word::context_of(&w)) value = context::get_value(&w);
  return value && (type_of(value) == type::datatype_ || type_of(value) == type::typeset);
}

void check_type_block(const cell* types) {
  cell b = *types;
  int32_t n = block::rs_length(&b);
  for (int32_t i = 0; i < n; ++i) {
    const cell* v = block::rs_head(&b) + i;
    if (!is_type_name(v)) fire(err::script_invalid_type_spec, v);
  }
}

}  // namespace

uint32_t validate_spec(cell* spec_in) {
  cell spec = *spec_in;
  int32_t n = block::rs_length(&spec);
  uint32_t flags = 0;
  int32_t i = 0;
  auto at = [&](int32_t k) { return block::rs_head(&spec) + k; };
  if (n > 0 && type_of(at(0)) == type::block) {
    cell attrs = *at(0);
    int32_t m = block::rs_length(&attrs);
    for (int32_t k = 0; k < m; ++k) {
      const cell* a = block::rs_head(&attrs) + k;
      if (type_of(a) != type::word) bad_spec(&spec);
      uint32_t s = symbol::resolve(word::symbol_of(a));
      if (s == symbol::resolve(words::sym.trace)) flags |= function_flag::trace;
      if (s == symbol::resolve(words::sym.no_trace)) flags |= function_flag::no_trace;
    }
    i = 1;
  }
  bool in_locals = false;
  bool seen_return = false;
  for (; i < n; ++i) {
    const cell* v = at(i);
    uint32_t t = type_of(v);
    switch (t) {
      case type::word:
      case type::lit_word:
      case type::get_word: {
        if (in_locals && t != type::word) bad_spec(&spec);
        if (seen_return && !in_locals) bad_spec(&spec);
        if (i + 1 < n && type_of(at(i + 1)) == type::block) {
          check_type_block(at(i + 1));
          ++i;
        } else if (i + 2 < n && type_of(at(i + 1)) == type::string &&
                   type_of(at(i + 2)) == type::block) {
          bad_spec(&spec);  // the type block comes before the doc string
        }
        break;
      }
      case type::string:
        break;
      case type::set_word: {
        if (symbol::resolve(word::symbol_of(v)) != symbol::resolve(words::sym.return_) || seen_return ||
            in_locals)
          bad_spec(&spec);
        seen_return = true;
        if (i + 1 >= n || type_of(at(i + 1)) != type::block) bad_spec(&spec);
        check_type_block(at(i + 1));
        ++i;
        if (i + 1 < n && type_of(at(i + 1)) != type::refinement &&
            type_of(at(i + 1)) != type::string)
          bad_spec(&spec);
        break;
      }
      case type::refinement: {
        bool is_local = symbol::resolve(word::symbol_of(v)) == symbol::resolve(words::sym.local);
        if (is_local) {
          in_locals = true;
        } else if (in_locals || seen_return) {
          bad_spec(&spec);
        }
        if (i + 1 < n) {
          uint32_t nt = type_of(at(i + 1));
          if (!(nt == type::word || nt == type::get_word || nt == type::lit_word ||
                nt == type::refinement || nt == type::set_word || nt == type::string))
            bad_spec(&spec);
        }
        break;
      }
      default:
        bad_spec(&spec);
    }
  }
  // No word twice, case ignored.
  for (int32_t a = 0; a < n; ++a) {
    const cell* x = at(a);
    uint32_t tx = type_of(x);
    if (!(tx == type::word || tx == type::lit_word || tx == type::get_word ||
          tx == type::refinement))
      continue;
    for (int32_t b = a + 1; b < n; ++b) {
      const cell* y = at(b);
      uint32_t ty = type_of(y);
      if (!(ty == type::word || ty == type::lit_word || ty == type::get_word ||
            ty == type::refinement))
        continue;
      if (symbol::resolve(word::symbol_of(x)) == symbol::resolve(word::symbol_of(y))) {
        cell w = *y;
        fire(err::script_dup_vars, &w);
      }
    }
  }
  return flags;
}

void make_value(cell* out, cell* spec_in, cell* body_in, node_t ctx, uint32_t code_index,
                uint32_t header_flags) {
  cell spec = *spec_in;
  cell body;
  bool has_body = body_in && type_of(body_in) == type::block;
  if (has_body) body = *body_in;
  // The stored spec starts at its head.
  if (series::index_of(&spec) != 0) {
    cell* copy = block::copy_cells(&spec, false, false);
    spec = *copy;
    stack::top--;
  }
  uint32_t base = stack::index_of(stack::top);
  stack::push(&spec);
  if (!ctx) ctx = context::make_from_spec(&spec, true, false, 0);
  cell* body_copy = nullptr;
  if (has_body) {
    body_copy = block::copy_cells(&body, true, true);
    body = *body_copy;
    context::bind_block(ctx, &body, false);
  }
  node_t extra_node = memory::alloc_cells_cleared(5);
  {
    series_buffer* s = memory::buffer_of(extra_node);
    s->tail = s->offset + 5 * 16;
    cell* x = s->cells_rw();
    if (has_body)
      x[extra::body] = body;
    else
      x[extra::body].header = type::none;
    x[extra::descriptors].header = type::unset;
    if (code_index) {
      x[extra::code].header = type::integer;
      x[extra::code].data2 = code_index;
    } else {
      x[extra::code].header = type::unset;
    }
    x[extra::op_function].header = type::unset;
    x[extra::lookup].header = type::unset;
  }
  out->header = type::function | header_flags;
  out->data1 = ctx;
  out->data2 = spec.data2;
  out->data3 = extra_node;
  *context::owner_cell_rw(ctx) = *out;
  stack::top = stack::at_index(base);
}

void collect_locals(cell* spec_in, cell* body_in, cell* out_spec) {
  // Words already named: the spec's own words and those after /extern and /local.
  cell spec = *spec_in;
  cell body = *body_in;
  uint32_t base = stack::index_of(stack::top);
  cell* result = block::push_only(static_cast<uint32_t>(block::rs_length(&spec)) + 4);
  cell* excluded = block::push_only(8);
  cell* collected = block::push_only(8);
  bool in_extern = false;
  bool has_local = false;
  for (int32_t i = 0; i < block::rs_length(&spec); ++i) {
    cell v = *(block::rs_head(&spec) + i);
    uint32_t t = type_of(&v);
    if (t == type::refinement) {
      uint32_t s = symbol::resolve(word::symbol_of(&v));
      if (s == symbol::resolve(words::sym.extern_)) {
        in_extern = true;
        continue;
      }
      in_extern = false;
      if (s == symbol::resolve(words::sym.local)) has_local = true;
    }
    if (in_extern) {
      if (t == type::set_word || t == type::lit_word || t == type::get_word ||
          t == type::refinement || t == type::word) {
        set_type(&v, type::word);
        block::append_copy(excluded, &v);
      } else if (t != type::block && t != type::string) {
        fire(err::script_bad_func_extern, &v);
      }
      continue;
    }
    block::append_copy(result, &v);
    if (is_any_word(t)) {
      set_type(&v, type::word);
      block::append_copy(excluded, &v);
    }
  }
  auto known = [&](uint32_t sym) {
    uint32_t s = symbol::resolve(sym);
    for (cell* b : {excluded, collected}) {
      int32_t n = block::rs_length(b);
      for (int32_t k = 0; k < n; ++k)
        if (symbol::resolve(word::symbol_of(block::rs_head(b) + k)) == s) return true;
    }
    return false;
  };
  auto collect = [&](const cell* w) {
    if (known(word::symbol_of(w))) return;
    cell word = *w;
    word.header = type::word;
    word.data1 = 0;
    word.data3 = 0xFFFFFFFF;
    block::append_copy(collected, &word);
  };
  // Deep walk of the body, with its own explicit stack of blocks.
  struct walk {
    static void run(cell* b, decltype(collect)& add) {
      cell blk = *b;
      uint32_t after = 0;  // 1 after foreach/remove-each, 2 after repeat
      for (int32_t i = 0; i < block::rs_length(&blk); ++i) {
        cell v = *(block::rs_head(&blk) + i);
        uint32_t t = type_of(&v);
        if (after) {
          if (after == 1 && t == type::block) {
            for (int32_t k = 0; k < block::rs_length(&v); ++k) {
              const cell* w = block::rs_head(&v) + k;
              uint32_t wt = type_of(w);
              if (wt == type::word || wt == type::get_word || wt == type::lit_word) add(w);
            }
            after = 0;
            continue;
          }
          if (t == type::word || t == type::set_word) add(&v);
          after = 0;
          if (t == type::word) continue;
        }
        if (t == type::set_word) {
          add(&v);
        } else if (t == type::word) {
          uint32_t s = symbol::resolve(word::symbol_of(&v));
          if (s == symbol::resolve(words::sym.foreach) ||
              s == symbol::resolve(words::sym.remove_each))
            after = 1;
          else if (s == symbol::resolve(words::sym.repeat))
            after = 2;
        } else if (t == type::block || t == type::paren) {
          run(&v, add);
        }
      }
    }
  };
  walk::run(&body, collect);
  if (block::rs_length(collected) > 0) {
    if (!has_local) {
      cell local;
      local.header = type::refinement;
      local.data1 = 0;
      local.data2 = words::sym.local;
      local.data3 = 0xFFFFFFFF;
      block::append_copy(result, &local);
    }
    block::append_cells(result, collected);
  }
  *out_spec = *result;
  stack::top = stack::at_index(base);
}

const cell* build_descriptors(cell* f) {
  cell fn = *f;
  uint32_t t = type_of(&fn);
  uint32_t slot_index = (t == type::native || t == type::action) ? 1 : extra::descriptors;
  bool is_fn = t == type::function || t == type::routine;
  cell spec;
  spec.header = type::block;
  spec.data1 = 0;
  spec.data2 = fn.data2;
  spec.data3 = 0;
  uint32_t base = stack::index_of(stack::top);
  cell* d = block::push_only(8);
  int32_t n = block::rs_length(&spec);
  uint32_t refinements = 0;
  uint32_t slot = 0;  // context slot of the next word (function! only)
  bool in_locals = false;
  for (int32_t i = 0; i < n && !in_locals; ++i) {
    cell v = *(block::rs_head(&spec) + i);
    uint32_t vt = type_of(&v);
    const cell* types = nullptr;
    if (i + 1 < n && type_of(block::rs_head(&spec) + i + 1) == type::block)
      types = block::rs_head(&spec) + i + 1;
    if (vt == type::word || vt == type::get_word || vt == type::lit_word) {
      cell ts;
      if (types) {
        cell tb = *types;
        typeset::make_from_spec(&ts, &tb);
      } else {
        typeset::make_default(&ts);
      }
      uint32_t kind = vt == type::word ? arg_kind::normal
                      : vt == type::get_word ? arg_kind::get
                                             : arg_kind::lit;
      ts.header |= kind << arg_kind::shift;
      block::append_copy(d, &ts);
      ++slot;
    } else if (vt == type::set_word) {
      if (symbol::resolve(word::symbol_of(&v)) != symbol::resolve(words::sym.return_))
        fire(err::script_bad_func_def, &v);
      cell ts;
      if (types) {
        cell tb = *types;
        typeset::make_from_spec(&ts, &tb);
      } else {
        typeset::make_default(&ts);
      }
      ts.header |= arg_kind::ret << arg_kind::shift;
      block::append_copy(d, &ts);
    } else if (vt == type::refinement) {
      if (symbol::resolve(word::symbol_of(&v)) == symbol::resolve(words::sym.local)) {
        in_locals = true;
        break;
      }
      ++refinements;
      cell r = v;
      r.data1 = refinements;           // ordinal among the refinements
      r.data3 = is_fn ? slot : 0;      // the refinement's slot in a function's context
      block::append_copy(d, &r);
      ++slot;
    }
  }
  cell count;
  count.header = type::integer;
  count.data1 = 0;
  count.data2 = refinements;
  count.data3 = 0;
  block::append_copy(d, &count);
  cell result = *d;
  stack::top = stack::at_index(base);
  cell* x = extra_cells_rw(&fn);
  x[slot_index] = result;
  return &x[slot_index];
}

uint32_t arity(cell* f) {
  const cell* d = descriptors(f);
  cell db = *d;
  uint32_t n = 0;
  for (int32_t i = 0; i < block::rs_length(&db); ++i) {
    const cell* c = block::rs_head(&db) + i;
    if (type_of(c) != type::typeset) break;
    if (((c->header >> arg_kind::shift) & 3) != arg_kind::ret) ++n;
  }
  return n;
}

void make_native(cell* out, uint32_t type_id, cell* spec_in, uint32_t index) {
  cell spec = *spec_in;
  node_t extra_node = memory::alloc_cells_cleared(2);
  {
    series_buffer* s = memory::buffer_of(extra_node);
    s->tail = s->offset + 32;
    cell* x = s->cells_rw();
    x[0].header = type::none;
    x[1].header = type::none;
  }
  node_t ctx = context::make_from_spec(&spec, true, false, 0);
  {
    cell* x = memory::buffer_of(extra_node)->cells_rw();
    x[0].header = type::context;
    x[0].data1 = 0;
    x[0].data2 = ctx;
    x[0].data3 = 0;
  }
  out->header = type_id;
  out->data1 = index;
  out->data2 = spec.data2;
  out->data3 = extra_node;
  *context::owner_cell_rw(ctx) = *out;
}

native_entry native_table_entry(uint32_t index) {
  return index >= 1 && index <= 120 ? natives_table[index - 1] : nullptr;
}
native_entry action_table_entry(uint32_t index) {
  return index >= 1 && index <= 62 ? actions_table[index - 1] : nullptr;
}

void register_native(uint32_t index, native_entry e) { natives_table[index - 1] = e; }

void register_routine(uint32_t index, routine_entry e, int32_t result_type) {
  routines_table[index - 1] = e;
  routine_results[index - 1] = result_type;
}
routine_entry routine_table_entry(uint32_t index) {
  return index >= 1 && index <= max_routines ? routines_table[index - 1] : nullptr;
}
int32_t routine_result_type(uint32_t index) {
  return index >= 1 && index <= max_routines ? routine_results[index - 1] : -1;
}

void make_routine(cell* out, cell* spec_in, uint32_t index) {
  cell spec = *spec_in;
  uint32_t base = stack::index_of(stack::top);
  stack::push(&spec);
  node_t ctx = context::make_from_spec(&spec, true, false, 0);
  node_t extra_node = memory::alloc_cells_cleared(5);
  {
    series_buffer* s = memory::buffer_of(extra_node);
    s->tail = s->offset + 5 * 16;
    cell* x = s->cells_rw();
    x[extra::body].header = type::none;
    x[extra::descriptors].header = type::unset;
    x[extra::code] = cell{type::integer, 0, index, 0};
    x[extra::op_function].header = type::unset;
    x[extra::lookup] =
        cell{type::integer, 0, static_cast<uint32_t>(routine_result_type(index)), 0};
  }
  // Bit 15: the entry takes the argument cells; bits 25-29 the number of arguments.
  uint32_t count = 0;
  for (int32_t i = 0; i < block::rs_length(&spec); ++i) {
    uint32_t t = type_of(block::rs_head(&spec) + i);
    if (t == type::refinement || t == type::set_word) break;
    if (t == type::word) ++count;
  }
  out->header = type::routine | 0x8000 | ((count & 31) << 25);
  out->data1 = ctx;
  out->data2 = spec.data2;
  out->data3 = extra_node;
  *context::owner_cell_rw(ctx) = *out;
  stack::top = stack::at_index(base);
}
void register_action(uint32_t index, native_entry e) { actions_table[index - 1] = e; }

void spec_word_at(uint32_t n, cell* out) {
  *out = cell{type::none, 0, 0, 0};
  call_frame* f = stack::current_frame();
  if (f < stack::frame_bottom) return;
  cell name;
  context::word_of_symbol(f->name_context, f->symbol, &name);
  const cell* value = nullptr;
  if (!word::is_unbound(&name)) {
    const cell* vals = context::values(word::context_of(&name));
    if (vals) value = vals + word::index_of(&name);
  }
  if (value) spec_word_of(value, n, out);
}

void spec_word_of(const cell* fn, uint32_t n, cell* out) {
  *out = cell{type::none, 0, 0, 0};
  if (!is_any_function(type_of(fn))) return;
  cell spec;
  spec.header = type::block;
  spec.data1 = 0;
  spec.data2 = fn->data2;
  spec.data3 = 0;
  uint32_t k = 0;
  for (int32_t i = 0; i < block::rs_length(&spec); ++i) {
    const cell* v = block::rs_head(&spec) + i;
    uint32_t t = type_of(v);
    if (t == type::word || t == type::lit_word || t == type::get_word || t == type::refinement) {
      if (k == n) {
        *out = *v;
        return;
      }
      ++k;
    }
  }
}

}  // namespace kaz::function

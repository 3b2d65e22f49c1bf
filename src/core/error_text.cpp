// The text of errors: the message from the catalogue's template, the Where, Near and Stack
// lines, and the call names an error keeps.
#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/error_internal.h"
#include "core/object.h"
#include "core/scalar_cell.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "core/words.h"
#include "runtime/output_hooks.h"

namespace kaz::error {

namespace {

constexpr int32_t argument_cut = 80;  // characters of each argument in a message
constexpr int32_t near_cut = 40;      // characters of the near field

// system/state/<name> when the system object exists, else null.
const cell* system_state(std::string_view name) {
  int32_t s = context::find_symbol(context::global, words::sym.system, true);
  if (s < 0) return nullptr;
  const cell* sys = context::values(context::global) + s;
  if (type_of(sys) != type::object) return nullptr;
  static const uint32_t state = symbol::make("state");
  int32_t k = context::find_symbol(object::context_of(sys), state, true);
  if (k < 0) return nullptr;
  const cell* st = context::values(object::context_of(sys)) + k;
  if (type_of(st) != type::object) return nullptr;
  int32_t f = context::find_symbol(object::context_of(st), symbol::make(name), true);
  return f < 0 ? nullptr : context::values(object::context_of(st)) + f;
}

// Appends a value formed or molded flat, cut to `cut` characters. Forming an error must not
// raise another: a value that cannot be written leaves what was written so far.
void append_value(cell* buffer, const cell* v, bool formed, bool only, int32_t cut) {
  cell saved_error = in_flight;
  stack::saved_state saved = stack::save();
  cell tmp;
  string::make_at(&tmp, 16);
  uint32_t holder = stack::index_of(stack::push(&tmp));
  cell local = *v;
  try {
    if (formed)
      actions::form(&local, stack::at_index(holder), nullptr, cut);
    else
      actions::mold(&local, stack::at_index(holder), only, false, true, nullptr, cut, 0);
  } catch (const language_error&) {
    in_flight = saved_error;
  }
  cell h = *stack::at_index(holder);
  stack::unwind_to(saved);
  string::append_string(series::node_of(buffer), &h, cut);
}

// The calls of frames [from, to) that a trace lists: every frame when level > 1, only the
// calls of functions otherwise; `<body>` and `<anon>` never. Reads the frames without
// allocating, so frames an unwinding has just popped are still intact while this runs.
std::vector<uint32_t> call_symbols(int32_t level, uint32_t from, uint32_t to) {
  std::vector<uint32_t> out;
  if (to > stack::frame_capacity) to = stack::frame_capacity;
  for (uint32_t i = from; i < to; ++i) {
    const call_frame* f = stack::frame_bottom + i;
    if (!stack::named_call(f) || f->symbol == 0) continue;
    bool take = level > 1;
    if (!take) {
      // The name as the frame's own context (else the global one) holds it.
      node_t ctx = f->name_context;
      int32_t k = ctx ? context::find_symbol(ctx, f->symbol, false) : -1;
      if (k < 0) {
        ctx = context::global;
        k = context::find_symbol(ctx, f->symbol, true);
      }
      const cell* vals = k >= 0 ? context::values(ctx) : nullptr;
      take = vals && type_of(vals + k) == type::function;
    }
    if (take) out.push_back(f->symbol);
  }
  return out;
}

// A block (on the stack top) of the global words of the symbols.
cell* push_call_words(const std::vector<uint32_t>& symbols) {
  cell* names = block::push_only(static_cast<uint32_t>(symbols.size()) + 1);
  uint32_t at = stack::index_of(names);
  for (uint32_t s : symbols) {
    cell w;
    context::intern_global(s, &w);
    block::append_copy(stack::at_index(at), &w);
  }
  return stack::at_index(at);
}

// The message of a block template: strings as they stand, field words replaced by the fields'
// values (formed for syntax errors, else molded flat), each cut; one space between elements.
void form_message(const cell* tmpl, cell* buffer, const cell* fields, node_t error_ctx,
                  bool syntax) {
  cell t = *tmpl;
  bool first = true;
  for (int32_t i = 0; i < block::rs_length(&t); ++i) {
    cell item = *(block::rs_head(&t) + i);
    uint32_t it = type_of(&item);
    const cell* value = nullptr;
    if (it == type::word || it == type::get_word) {
      int32_t k = context::find_symbol(error_ctx, word::symbol_of(&item), true);
      if (k < 0) continue;
      value = static_cast<uint32_t>(k) < field::count ? fields + k
                                                       : context::values(error_ctx) + k;
    } else if (it != type::string) {
      continue;
    }
    if (!first) string::append_ascii(series::node_of(buffer), " ");
    first = false;
    if (value) {
      cell v = *value;
      append_value(buffer, &v, syntax, false, argument_cut);
    } else {
      string::append_string(series::node_of(buffer), &item);
    }
  }
}

}  // namespace

int32_t stack_trace_level() {
  const cell* v = system_state("stack-trace");
  return v && type_of(v) == type::integer ? integer_type::value_of(v) : 0;
}

int32_t form(const cell* e_in, cell* buffer, int32_t limit) {
  cell e = *e_in;
  node_t out = series::node_of(buffer);
  uint32_t start = memory::buffer_of(out)->length();
  // The fields, read once; an error whose type and id name no entry is shown as the internal
  // error invalid-error about the offending word (the error itself is left as it is).
  cell fields[field::count];
  for (uint32_t k = 0; k < field::count; ++k) fields[k] = *field_of(&e, k);
  int32_t c = category_of(&fields[field::type]);
  int32_t k = c >= 0 ? id_of(static_cast<uint32_t>(c), &fields[field::id]) : -1;
  if (k < 0) {
    fields[field::arg1] = c < 0 ? fields[field::type] : fields[field::id];
    cell internal = words::word.internal, invalid = words::word.invalid_error;
    c = category_of(&internal);
    k = c >= 0 ? id_of(static_cast<uint32_t>(c), &invalid) : -1;
  }
  if (k < 0) {  // the catalogue lost its own entry for this
    string::append_ascii(out, "*** Internal Error: invalid error object");
    return limit - static_cast<int32_t>(memory::buffer_of(out)->length() - start);
  }
  node_t category = category_context(static_cast<uint32_t>(c));
  cell display = context::values(category)[1];
  cell tmpl = context::values(category)[static_cast<uint32_t>(k) + fixed_fields];
  string::append_ascii(out, "*** ");
  if (is_any_string(type_of(&display)))
    string::append_string(out, &display);
  else
    append_value(buffer, &display, true, false, argument_cut);
  string::append_ascii(out, ": ");
  if (type_of(&tmpl) == type::word) {
    int32_t f = context::find_symbol(e.data1, word::symbol_of(&tmpl), true);
    tmpl = f >= 0 && static_cast<uint32_t>(f) < field::count ? fields[f] : cell{type::none, 0, 0, 0};
  }
  if (type_of(&tmpl) == type::string) {
    string::append_string(out, &tmpl);
  } else if (type_of(&tmpl) == type::block) {
    form_message(&tmpl, buffer, fields, e.data1, c == syntax_category);
  } else if (type_of(&tmpl) != type::none) {
    append_value(buffer, &tmpl, true, false, argument_cut);
  }
  string::append_ascii(out, "\n*** Where: ");
  const cell& where = fields[field::where];
  if (type_of(&where) == type::word) {
    append_value(buffer, &where, true, false, 0x7FFFFFFF);
  } else if (type_of(&where) == type::string) {
    string::append_string(out, &where);
  } else {
    string::append_ascii(out, "???");
  }
  string::append_ascii(out, "\n*** Near : ");
  append_value(buffer, &fields[field::near], false, true, near_cut);
  // The Stack line only when there are call names to show.
  int32_t level = stack_trace_level();
  if (level > 0) {
    const cell& st = fields[field::stack];
    if (type_of(&st) == type::integer) {
      // Frames above the top may have been reused or their contexts collected since the error
      // was raised: only the frames still open are read.
      auto open = static_cast<uint32_t>(stack::frame_top - stack::frame_bottom);
      uint32_t base = stack::index_of(stack::top);
      auto to = static_cast<uint32_t>(integer_type::value_of(&st));
      cell n = *push_call_words(call_symbols(level, 0, std::min(to, open)));
      if (block::rs_length(&n) > 0) {
        string::append_ascii(out, "\n*** Stack: ");
        append_value(buffer, &n, true, false, 0x7FFFFFFF);
      }
      stack::top = stack::at_index(base);
    } else if (type_of(&st) == type::block && block::rs_length(&st) > 0) {
      string::append_ascii(out, "\n*** Stack: ");
      append_value(buffer, &st, true, false, 0x7FFFFFFF);
    }
  }
  return limit - static_cast<int32_t>(memory::buffer_of(out)->length() - start);
}

void capture_stack(const cell* e_in) {
  cell e = *e_in;
  const cell* st = field_of(&e, field::stack);
  if (type_of(st) == type::integer) {
    uint32_t to = static_cast<uint32_t>(integer_type::value_of(st));
    auto open = static_cast<uint32_t>(stack::frame_top - stack::frame_bottom);
    int32_t level = stack_trace_level();  // its names were interned at start-up
    if (level <= 0) level = 1;
    // Read before anything allocates: the frames the error left are intact until then.
    std::vector<uint32_t> symbols = call_symbols(level, open > 0 ? open - 1 : 0, to);
    // At most `level` calls, the ones nearest the error.
    if (symbols.size() > static_cast<size_t>(level))
      symbols.erase(symbols.begin(), symbols.end() - level);
    uint32_t base = stack::index_of(stack::top);
    cell kept = *push_call_words(symbols);
    set_field(&e, field::stack, &kept);
    stack::top = stack::at_index(base);
  }
  const cell* files = system_state("source-files");
  if (files && type_of(files) == type::block && block::rs_length(files) > 0) {
    cell f = *files;
    cell copy = *block::copy_cells(&f, false, false);
    stack::drop_values(1);
    set_field(&e, field::files, &copy);
  }
}

void caught(const cell* e, bool keep) {
  if (keep || stack_trace_level() > 0) capture_stack(e);
}

void report_uncaught() {
  cell e = in_flight;
  // The names of the calls are read before anything allocates, from the frames as the error
  // left them; then the stacks are emptied for the printing.
  std::vector<uint32_t> calls;
  int32_t level = stack_trace_level();
  bool traced = type_of(&e) == type::error && level > 0 &&
                type_of(field_of(&e, field::stack)) == type::integer;
  if (traced)
    calls = call_symbols(level, 0,
                         static_cast<uint32_t>(integer_type::value_of(field_of(&e, field::stack))));
  stack::top = stack::arguments = stack::bottom;
  stack::frame_top = stack::frame_bottom;
  if (type_of(&e) == type::error) {
    if (traced) {
      cell names = *push_call_words(calls);
      set_field(&e, field::stack, &names);
    }
    cell buffer;
    string::make_at(&buffer, 64);
    cell* held = stack::push(&buffer);
    form(&e, held, 0x7FFFFFFF);
    series_buffer* s = string::buffer_of(held);
    sysrt::call_print_hooks({s->data(), s->used_bytes(), s->unit()}, true);
  }
  std::_Exit(254);  // no runtime error report: the error itself was the report
}

}  // namespace kaz::error

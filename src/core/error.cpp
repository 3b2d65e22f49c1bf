#include "core/error.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "core/actions.h"
#include "core/context.h"
#include "core/interpreter.h"
#include "core/object.h"
#include "core/object_internal.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "core/trace.h"
#include "core/words.h"
#include "datatypes/block_storage.h"
#include "datatypes/registry.h"
#include "datatypes/string_storage.h"
#include "memory/collector.h"
#include "runtime/output_hooks.h"

namespace kaz::error {

cell in_flight{type::unset, 0, 0, 0};

namespace {

node_t prototype = 0;                       // the context every error copies (a root)
cell catalogue{type::unset, 0, 0, 0};       // the catalogue object (a root)

constexpr uint32_t fixed_fields = 2;        // code and type come before a category's ids
constexpr int32_t argument_cut = 80;        // characters of each argument in a message
constexpr int32_t near_cut = 40;            // characters of the near field
constexpr int32_t syntax_category = 2;      // its arguments are formed, not molded

const char* const field_names[field::count] = {"code", "type", "id",    "arg1",  "arg2",
                                               "arg3", "near", "where", "stack", "files"};

void mark_roots() {
  collector::mark_values(&in_flight, &in_flight + 1);
  collector::mark_values(&catalogue, &catalogue + 1);
  if (prototype) collector::mark_context(&prototype);
}

inline cell* values_of(const cell* e) { return context::values(e->data1); }
inline void set_field(const cell* e, uint32_t index, const cell* v) { values_of(e)[index] = *v; }
inline node_t categories() { return catalogue.data1; }
inline uint32_t category_count() { return context::size(categories()); }
// The context of category c, or 0 when the catalogue holds no object there (code may change
// the catalogue once it hangs on the system object).
inline node_t category_context(uint32_t c) {
  if (c >= category_count()) return 0;
  const cell* v = context::values(categories()) + c;
  return object::is_any_object(type_of(v)) ? v->data1 : 0;
}
inline uint32_t id_count(uint32_t c) {
  node_t ctx = category_context(c);
  return ctx && context::size(ctx) > fixed_fields ? context::size(ctx) - fixed_fields : 0;
}

// ---------------------------------------------------------------------------------------------
// The catalogue, built from errors.def.

struct definition {
  bool category;
  uint32_t number;   // category index, or code
  const char* word;
  const char* text;  // display name, or message template as source
};

const definition definitions[] = {
#define ERROR_CATEGORY(index, cname, word, display) {true, index, word, display},
#define ERROR(cat, id, code, word, tmpl) {false, code, word, tmpl},
#include "core/errors.def"
#undef ERROR
#undef ERROR_CATEGORY
};

// A word! (or with get, a get-word!) bound in the global context.
cell global_word_of(std::string_view name, bool get) {
  cell w;
  context::intern_global(symbol::make(name), &w);
  if (get) set_type(&w, type::get_word);
  return w;
}

cell string_of(std::string_view text) {
  cell s;
  string::make_at(&s, static_cast<uint32_t>(text.size()));
  string::append_utf8(s.data2, text);
  return s;
}

// A template: "text", [items...] of strings and (get-)words, or a word.
cell parse_template(const char* p) {
  auto token = [&p](bool* is_string, bool* is_get) {
    while (*p == ' ') ++p;
    *is_string = *p == '"';
    *is_get = *p == ':';
    if (*is_string || *is_get) ++p;
    const char* start = p;
    if (*is_string) {
      while (*p && *p != '"') ++p;
      std::string_view t(start, static_cast<size_t>(p - start));
      if (*p) ++p;
      return t;
    }
    while (*p && *p != ' ' && *p != ']') ++p;
    return std::string_view(start, static_cast<size_t>(p - start));
  };
  bool is_string, is_get;
  while (*p == ' ') ++p;
  if (*p != '[') {
    std::string_view t = token(&is_string, &is_get);
    return is_string ? string_of(t) : global_word_of(t, is_get);
  }
  ++p;
  uint32_t base = stack::index_of(stack::top);
  cell* b = block::push_only(4);
  for (;;) {
    while (*p == ' ') ++p;
    if (!*p || *p == ']') break;
    std::string_view t = token(&is_string, &is_get);
    cell item = is_string ? string_of(t) : global_word_of(t, is_get);
    block::append_copy(b, &item);
  }
  cell made = *stack::at_index(base);
  stack::top = stack::at_index(base);
  return made;
}

void build_catalogue() {
  uint32_t base = stack::index_of(stack::top);
  cell* all = stack::reserve_cell();
  object::make_empty_at(all, 10);
  cell* current = stack::reserve_cell();
  for (const definition& d : definitions) {
    if (d.category) {
      object::make_empty_at(current, 8);
      cell code{type::integer, 0, d.number * 100, 0};
      context::put_word_value(current->data1, words::sym.code, &code);
      cell display = string_of(d.text);
      context::put_word_value(current->data1, words::sym.type, &display);
      cell c = *current;
      context::put_word_value(all->data1, symbol::make(d.word), &c);
    } else {
      cell message = parse_template(d.text);
      context::put_word_value(current->data1, symbol::make(d.word), &message);
    }
  }
  catalogue = *all;
  stack::top = stack::at_index(base);
}

// The category index of a word (case-insensitive), or -1.
int32_t category_of(const cell* w) {
  if (!is_any_word(type_of(w))) return -1;
  int32_t c = context::find_symbol(categories(), w->data2, true);
  return c >= 0 && category_context(static_cast<uint32_t>(c)) ? c : -1;
}

// The position of an id word in a category (counted after code and type), or -1.
int32_t id_of(uint32_t c, const cell* w) {
  if (!is_any_word(type_of(w)) || !category_context(c)) return -1;
  int32_t k = context::find_symbol(category_context(c), w->data2, true);
  return k < static_cast<int32_t>(fixed_fields) ? -1 : k - static_cast<int32_t>(fixed_fields);
}

// The words errors.def gives a category index and an id position, when the catalogue lost them.
void defined_words(uint32_t c, uint32_t k, cell* type_word, cell* id_word) {
  *type_word = *id_word = cell{type::none, 0, 0, 0};
  for (const definition& d : definitions) {
    if (d.category && d.number == c) *type_word = global_word_of(d.word, false);
    if (!d.category && d.number == c * 100 + k) *id_word = global_word_of(d.word, false);
  }
}

// Fills code, type and id from a category index and an id position.
void set_entry(const cell* e, uint32_t c, uint32_t k) {
  cell code{type::integer, 0, c * 100 + k, 0};
  set_field(e, field::code, &code);
  cell t, i;
  node_t category = category_context(c);
  if (category && k + fixed_fields < context::size(category)) {
    context::word_at(categories(), c, &t);
    context::word_at(category, k + fixed_fields, &i);
  } else {
    defined_words(c, k, &t, &i);
  }
  set_field(e, field::type, &t);
  set_field(e, field::id, &i);
}

// A new error! from the prototype, every field none.
void make_blank(cell* out) {
  node_t ctx = context::clone(prototype, context::kind_object);
  cell* vals = context::values(ctx);
  for (uint32_t k = 0; k < field::count; ++k) vals[k] = cell{type::none, 0, 0, 0};
  *out = cell{type::error, ctx, class_id, 0};
  *context::owner_cell(ctx) = *out;
}

// The catalogue entry of an error's code, for the C++ exception that carries it.
err entry_of_code(uint32_t code) {
  uint16_t k = 0;
  for (const definition& d : definitions) {
    if (d.category) continue;
    if (d.number == code) return static_cast<err>(k);
    ++k;
  }
  return err::internal_invalid_error;
}

// ---------------------------------------------------------------------------------------------
// Text.

// system/state/<name> when the system object exists, else null.
const cell* system_state(std::string_view name) {
  int32_t s = context::find_symbol(context::global, words::sym.system, true);
  if (s < 0) return nullptr;
  const cell* sys = context::values(context::global) + s;
  if (type_of(sys) != type::object) return nullptr;
  static const uint32_t state = symbol::make("state");
  int32_t k = context::find_symbol(sys->data1, state, true);
  if (k < 0) return nullptr;
  const cell* st = context::values(sys->data1) + k;
  if (type_of(st) != type::object) return nullptr;
  int32_t f = context::find_symbol(st->data1, symbol::make(name), true);
  return f < 0 ? nullptr : context::values(st->data1) + f;
}

int32_t stack_trace_level() {
  const cell* v = system_state("stack-trace");
  return v && type_of(v) == type::integer ? static_cast<int32_t>(v->data2) : 0;
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
  string::append_string(buffer->data2, &h, cut);
}

// The calls of frames [from, to) that a trace lists: every frame when level > 1, only the
// calls of functions otherwise; `<body>` and `<anon>` never. Reads the frames without
// allocating, so frames an unwinding has just popped are still intact while this runs.
std::vector<uint32_t> call_symbols(int32_t level, uint32_t from, uint32_t to) {
  std::vector<uint32_t> out;
  if (to > stack::frame_capacity) to = stack::frame_capacity;
  uint32_t body = words::word.body_.data2, anon = words::word.anon.data2;
  for (uint32_t i = from; i < to; ++i) {
    const call_frame* f = stack::frame_bottom + i;
    if (f->symbol == body || f->symbol == anon || f->symbol == 0) continue;
    bool take = level > 1;
    if (!take) {
      // The name as the frame's own context (else the global one) holds it.
      node_t ctx = f->name_context;
      int32_t k = ctx ? context::find_symbol(ctx, f->symbol, false) : -1;
      if (k < 0) {
        ctx = context::global;
        k = context::find_symbol(ctx, f->symbol, true);
      }
      cell* vals = k >= 0 ? context::values(ctx) : nullptr;
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
      int32_t k = context::find_symbol(error_ctx, item.data2, true);
      if (k < 0) continue;
      value = static_cast<uint32_t>(k) < field::count ? fields + k
                                                       : context::values(error_ctx) + k;
    } else if (it != type::string) {
      continue;
    }
    if (!first) string::append_ascii(buffer->data2, " ");
    first = false;
    if (value) {
      cell v = *value;
      append_value(buffer, &v, syntax, false, argument_cut);
    } else {
      string::append_string(buffer->data2, &item);
    }
  }
}

}  // namespace

const cell* catalog() { return &catalogue; }

cell* field_of(const cell* e, uint32_t index) { return values_of(e) + index; }

void set_where(const cell* e, const cell* value) {
  if (type_of(field_of(e, field::where)) == type::none) set_field(e, field::where, value);
}

void create(cell* out, err e, const cell* arg1, const cell* arg2, const cell* arg3) {
  const err_info& info = error_info(e);
  cell args[3];
  const cell* given[3] = {arg1, arg2, arg3};
  for (int k = 0; k < 3; ++k) args[k] = given[k] ? *given[k] : cell{type::none, 0, 0, 0};
  cell made;
  make_blank(&made);
  set_entry(&made, info.code / 100, info.code % 100);
  for (uint32_t k = 0; k < 3; ++k) set_field(&made, field::arg1 + k, &args[k]);
  *out = made;
}

void make_from_spec(cell* out, const cell* spec_in) {
  cell spec = *spec_in;
  uint32_t base = stack::index_of(stack::top);
  cell* e = stack::reserve_cell();
  make_blank(e);
  auto bad_field = [](const cell& word) {
    cell w = word;
    fire(err::script_invalid_spec_field, &w);
  };
  switch (type_of(&spec)) {
    case type::integer: {
      auto code = static_cast<int32_t>(spec.data2);
      if (code < 0 || static_cast<uint32_t>(code / 100) >= category_count() ||
          static_cast<uint32_t>(code % 100) >= id_count(static_cast<uint32_t>(code / 100)))
        fire(err::script_out_of_range, &spec);
      set_entry(e, static_cast<uint32_t>(code / 100), static_cast<uint32_t>(code % 100));
      break;
    }
    case type::block: {
      int32_t n = block::rs_length(&spec);
      uint32_t first = n > 0 ? type_of(block::rs_head(&spec)) : type::unset;
      cell t, i;
      if (first == type::word) {
        t = *block::rs_head(&spec);
        if (n < 2) {
          if (category_of(&t) < 0) bad_field(words::word.type);
          bad_field(words::word.id);
        }
        i = *(block::rs_head(&spec) + 1);
      } else if (first == type::set_word) {
        context::bind_block(e->data1, &spec, true);
        uint32_t mark = stack::index_of(stack::top);
        flow f = interp::eval_block(&spec, false);
        stack::top = stack::at_index(mark);
        if (f != flow::normal) object::raise_stranded_exit(f);
        e = stack::at_index(base);
        t = *field_of(e, field::type);
        i = *field_of(e, field::id);
      } else {
        fire(err::internal_invalid_error);
      }
      int32_t c = type_of(&t) == type::word ? category_of(&t) : -1;
      if (c < 0) bad_field(words::word.type);
      if (type_of(&i) != type::word && (first == type::word || type_of(&i) != type::none))
        fire(err::script_invalid_arg, &i);
      int32_t k = type_of(&i) == type::word ? id_of(static_cast<uint32_t>(c), &i) : -1;
      if (k < 0) bad_field(words::word.id);
      set_entry(stack::at_index(base), static_cast<uint32_t>(c), static_cast<uint32_t>(k));
      break;
    }
    case type::string:
      create(e, err::user_message, &spec, nullptr, nullptr);
      break;
    default: {
      cell dt{type::datatype_, type::error, 0, 0};
      fire(err::script_bad_make_arg, &dt, &spec);
    }
  }
  *out = *stack::at_index(base);
  stack::top = stack::at_index(base);
}

std::string type_name(const cell* e) {
  cell* t = field_of(e, field::type);
  return is_any_word(type_of(t)) ? std::string(symbol::spelling(t->data2)) : std::string();
}

std::string id_name(const cell* e) {
  cell* t = field_of(e, field::id);
  return is_any_word(type_of(t)) ? std::string(symbol::spelling(t->data2)) : std::string();
}

int32_t form(const cell* e_in, cell* buffer, int32_t limit) {
  cell e = *e_in;
  node_t out = buffer->data2;
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
    int32_t f = context::find_symbol(e.data1, tmpl.data2, true);
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
  int32_t level = stack_trace_level();
  if (level > 0) {
    string::append_ascii(out, "\n*** Stack: ");
    const cell& st = fields[field::stack];
    if (type_of(&st) == type::integer) {
      // Frames above the top may have been reused or their contexts collected since the error
      // was raised: only the frames still open are read.
      auto open = static_cast<uint32_t>(stack::frame_top - stack::frame_bottom);
      uint32_t base = stack::index_of(stack::top);
      cell n = *push_call_words(call_symbols(level, 0, std::min(st.data2, open)));
      append_value(buffer, &n, true, false, 0x7FFFFFFF);
      stack::top = stack::at_index(base);
    } else if (type_of(&st) == type::block) {
      append_value(buffer, &st, true, false, 0x7FFFFFFF);
    }
  }
  return limit - static_cast<int32_t>(memory::buffer_of(out)->length() - start);
}

void capture_stack(const cell* e_in) {
  cell e = *e_in;
  cell* st = field_of(&e, field::stack);
  if (type_of(st) == type::integer) {
    uint32_t to = st->data2;
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

void raise(const cell* e_in) {
  cell e = *e_in;
  if (type_of(field_of(&e, field::where)) == type::none) {
    cell name;
    stack::get_call_name(&name);
    set_field(&e, field::where, &name);
  }
  if (type_of(field_of(&e, field::near)) == type::none &&
      type_of(&interp::current_code) == type::block)
    set_field(&e, field::near, &interp::current_code);
  if (type_of(field_of(&e, field::stack)) != type::block) {
    cell level{type::integer, 0, static_cast<uint32_t>(stack::frame_top - stack::frame_bottom), 0};
    set_field(&e, field::stack, &level);
  }
  uint32_t code = field_of(&e, field::code)->data2;
  err id = type_of(field_of(&e, field::code)) == type::integer ? entry_of_code(code)
                                                                : err::internal_invalid_error;
  // A trace callback needs frames: not while the stacks are full.
  if (trace::tracing && id != err::internal_stack_overflow)
    trace::fire(trace::event::error, nullptr, 0, nullptr, &e);
  in_flight = e;
  throw language_error(id);
}

namespace {

cell* make(cell* proto, cell* spec, uint32_t) {
  make_from_spec(proto, spec);
  return proto;
}

int32_t form_slot(cell* e, cell* buffer, cell*, int32_t limit) { return form(e, buffer, limit); }

int32_t mold_slot(cell* e, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit,
                  int32_t indent) {
  return object::mold_object(e, buffer, "make error! [", only, all, flat, part, limit, indent);
}

int32_t compare(cell* a, cell* b, int32_t op) {
  if (type_of(b) != type::error) return -2;
  return object::compare_objects(a, b, op);
}

}  // namespace

void init_type() {
  registry::add(type::error, {.make = make,
                              .form = form_slot,
                              .mold = mold_slot,
                              .eval_path = object::eval_path,
                              .compare = compare},
                inherited(slot::reflect, slot::copy, slot::select));
}

bool ready() { return prototype != 0; }

void report_uncaught() {
  cell e = in_flight;
  // The names of the calls are read before anything allocates, from the frames as the error
  // left them; then the stacks are emptied for the printing.
  std::vector<uint32_t> calls;
  int32_t level = stack_trace_level();
  bool traced = type_of(&e) == type::error && level > 0 &&
                type_of(field_of(&e, field::stack)) == type::integer;
  if (traced) calls = call_symbols(level, 0, field_of(&e, field::stack)->data2);
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

void init() {
  if (prototype) return;
  collector::add_mark_callback(mark_roots);
  node_t proto = context::create(field::count, false, false, 0, context::kind_object);
  for (const char* name : field_names) context::add_word(proto, symbol::make(name));
  build_catalogue();
  prototype = proto;
}

}  // namespace kaz::error

#include "core/error.h"

#include <cstdlib>
#include <cstring>

#include "core/actions.h"
#include "core/context.h"
#include "core/interpreter.h"
#include "core/object.h"
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

node_t prototype = 0;  // the context every error copies

const char* const field_names[field::count] = {"code", "type", "id",    "arg1",  "arg2",
                                               "arg3", "near", "where", "stack", "files"};

void mark_roots() {
  collector::mark_values(&in_flight, &in_flight + 1);
  if (prototype) collector::mark_context(&prototype);
}

cell* values_of(const cell* e) { return context::values(e->data1); }

void set_field(const cell* e, uint32_t index, const cell* v) { values_of(e)[index] = *v; }

cell word_cell(const char* text) {
  cell w;
  context::intern_global(symbol::make(text), &w);
  return w;
}

// The catalogue entry of an error from its type and id words; false when they name none.
bool entry_of(const cell* e, err& out) {
  cell* t = field_of(e, field::type);
  cell* i = field_of(e, field::id);
  if (!is_any_word(type_of(t)) || !is_any_word(type_of(i))) return false;
  std::string_view tn = symbol::spelling(t->data2);
  std::string_view in = symbol::spelling(i->data2);
  constexpr uint16_t count = 0
#define ERROR_CATEGORY(index, cname, word, display)
#define ERROR(cat, id, code, word, tmpl) +1
#include "core/errors.def"
#undef ERROR
#undef ERROR_CATEGORY
      ;
  for (uint16_t k = 0; k < count; ++k) {
    const err_info& info = error_info(static_cast<err>(k));
    if (tn.size() == std::strlen(info.category) && in.size() == std::strlen(info.id) &&
        strncasecmp(tn.data(), info.category, tn.size()) == 0 &&
        strncasecmp(in.data(), info.id, in.size()) == 0) {
      out = static_cast<err>(k);
      return true;
    }
  }
  return false;
}

// Appends a value formed (syntax errors) or molded flat, cut to `cut` characters.
// Appends a value formed or molded (flat), cut to `cut` characters. Forming an error must not
// raise another: a value that cannot be written leaves what was written so far.
void append_value(cell* buffer, const cell* v, bool formed, bool only, int32_t cut) {
  cell saved_error = in_flight;
  stack::saved_state saved = stack::save();
  cell tmp;
  string::make_at(&tmp, 16);
  cell* holder = stack::push(&tmp);
  uint32_t holder_index = stack::index_of(holder);
  cell local = *v;
  try {
    if (formed)
      actions::form(&local, holder, nullptr, cut);
    else
      actions::mold(&local, holder, only, false, true, nullptr, cut, 0);
  } catch (const language_error&) {
    in_flight = saved_error;
  }
  cell h = *stack::at_index(holder_index);
  stack::unwind_to(saved);
  string::append_string(buffer->data2, &h, cut);
}

}  // namespace

cell* field_of(const cell* e, uint32_t index) { return values_of(e) + index; }

void create(cell* out, err e, const cell* arg1, const cell* arg2, const cell* arg3) {
  const err_info& info = error_info(e);
  cell args[3];
  const cell* given[3] = {arg1, arg2, arg3};
  for (int k = 0; k < 3; ++k) {
    if (given[k])
      args[k] = *given[k];
    else
      args[k].header = type::none;
  }
  node_t ctx = context::clone(prototype, context::kind_object);
  cell* vals = context::values(ctx);
  for (uint32_t k = 0; k < field::count; ++k) vals[k].header = type::none;
  out->header = type::error;
  out->data1 = ctx;
  out->data2 = 1;  // class id of errors
  out->data3 = 0;
  *context::owner_cell(ctx) = *out;
  cell code{type::integer, 0, info.code, 0};
  set_field(out, field::code, &code);
  cell t = word_cell(info.category);
  set_field(out, field::type, &t);
  cell i = word_cell(info.id);
  set_field(out, field::id, &i);
  for (uint32_t k = 0; k < 3; ++k) set_field(out, field::arg1 + k, &args[k]);
}

std::string type_name(const cell* e) {
  cell* t = field_of(e, field::type);
  return is_any_word(type_of(t)) ? std::string(symbol::spelling(t->data2)) : std::string();
}

std::string id_name(const cell* e) {
  cell* t = field_of(e, field::id);
  return is_any_word(type_of(t)) ? std::string(symbol::spelling(t->data2)) : std::string();
}

void form(const cell* e_in, cell* buffer, int32_t limit) {
  cell e = *e_in;
  node_t out = buffer->data2;
  err id{};
  bool known = entry_of(&e, id);
  if (!known) {
    cell w = *field_of(&e, field::type);
    set_field(&e, field::arg1, &w);
    cell t = word_cell("internal");
    set_field(&e, field::type, &t);
    cell i = word_cell("invalid-error");
    set_field(&e, field::id, &i);
    id = err::internal_invalid_error;
  }
  const err_info& info = error_info(id);
  string::append_ascii(out, "*** ");
  string::append_ascii(out, info.display);
  string::append_ascii(out, ": ");
  bool syntax = std::strcmp(info.category, "syntax") == 0;
  // The template: strings as they stand, argument words replaced by the fields' values.
  const char* p = info.message;
  bool first = true;
  if (std::strcmp(p, "arg1") == 0) {
    cell* a = field_of(&e, field::arg1);
    if (is_any_string(type_of(a))) {
      string::append_string(out, a);
    } else {
      append_value(buffer, a, true, false, 0x7FFFFFFF);
    }
  } else {
    while (*p) {
      if (*p == '[' || *p == ']' || *p == ' ') {
        ++p;
        continue;
      }
      if (!first) string::append_ascii(out, " ");
      first = false;
      if (*p == '"') {
        const char* q = ++p;
        while (*q && *q != '"') ++q;
        string::append_utf8(out, std::string_view(p, static_cast<size_t>(q - p)));
        p = *q ? q + 1 : q;
        continue;
      }
      if (*p == ':') ++p;
      const char* q = p;
      while (*q && *q != ' ' && *q != ']') ++q;
      std::string name(p, static_cast<size_t>(q - p));
      p = q;
      for (uint32_t k = 0; k < field::count; ++k) {
        if (name == field_names[k]) {
          append_value(buffer, field_of(&e, k), syntax, false, 80);
          break;
        }
      }
    }
  }
  string::append_ascii(out, "\n*** Where: ");
  cell* where = field_of(&e, field::where);
  if (type_of(where) == type::word) {
    string::append_utf8(out, symbol::spelling(where->data2));
  } else if (type_of(where) == type::string) {
    string::append_string(out, where);
  } else {
    string::append_ascii(out, "???");
  }
  string::append_ascii(out, "\n*** Near : ");
  cell* near = field_of(&e, field::near);
  if (type_of(near) != type::none) append_value(buffer, near, false, true, 40);
  (void)limit;
}

void raise(const cell* e_in) {
  cell e = *e_in;
  cell* where = field_of(&e, field::where);
  if (type_of(where) == type::none) {
    cell name;
    stack::get_call_name(&name);
    set_field(&e, field::where, &name);
  }
  cell* near = field_of(&e, field::near);
  if (type_of(near) == type::none && type_of(&interp::current_code) == type::block) {
    set_field(&e, field::near, &interp::current_code);
  }
  cell* st = field_of(&e, field::stack);
  if (type_of(st) != type::block) {
    cell level{type::integer, 0,
               static_cast<uint32_t>(stack::frame_top - stack::frame_bottom), 0};
    set_field(&e, field::stack, &level);
  }
  if (trace::tracing) trace::fire(trace::event::error, nullptr, 0, nullptr, &e);
  in_flight = e;
  err id{};
  entry_of(&e, id);
  throw language_error(id);
}

namespace {

int32_t form_slot(cell* e, cell* buffer, cell*, int32_t limit) {
  form(e, buffer, limit);
  return limit;
}

int32_t mold_slot(cell* e, cell* buffer, bool, bool all, bool flat, cell* part, int32_t limit,
                  int32_t indent) {
  string::append_ascii(buffer->data2, "make error! [");
  cell o = *e;
  o.header = type::object;
  limit = actions::mold(&o, buffer, true, all, flat, part, limit - 13, indent + 1);
  if (!flat) string::append_ascii(buffer->data2, "\n");
  string::append_ascii(buffer->data2, "]");
  return limit - 1;
}

}  // namespace

void init_type() {
  registry::add(type::error, {.form = form_slot, .mold = mold_slot},
                inherited(slot::reflect, slot::eval_path, slot::compare, slot::copy, slot::select));
}

bool ready() { return prototype != 0; }

void report_uncaught() {
  cell e = in_flight;
  stack::top = stack::arguments = stack::bottom;
  stack::frame_top = stack::frame_bottom;
  if (type_of(&e) == type::error) {
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
  prototype = context::create(field::count, false, false, 0, context::kind_object);
  for (uint32_t k = 0; k < field::count; ++k) context::add_word(prototype, symbol::make(field_names[k]));
  collector::add_mark_callback(mark_roots);
}

}  // namespace kaz::error

// error!: making errors from the catalogue and from specs, raising them, and the type's slots.
#include "core/error.h"

#include "core/block_storage.h"
#include "core/context.h"
#include "core/error_internal.h"
#include "core/evaluator.h"
#include "core/object.h"
#include "core/object_internal.h"
#include "core/registry.h"
#include "core/scalar_cell.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "core/word.h"
#include "core/words.h"
#include "memory/collector.h"

namespace kaz::error {

cell in_flight{type::unset, 0, 0, 0};

namespace {

node_t prototype = 0;  // the context every error copies (a root)

const char* const field_names[field::count] = {"code", "type", "id",    "arg1",  "arg2",
                                               "arg3", "near", "where", "stack", "files"};

void mark_roots() {
  collector::mark_values(&in_flight, &in_flight + 1);
  if (prototype) collector::mark_context(&prototype);
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
  cell* vals = context::values_rw(ctx);
  for (uint32_t k = 0; k < field::count; ++k) vals[k] = cell{type::none, 0, 0, 0};
  *out = cell{type::error, ctx, class_id, 0};
  *context::owner_cell_rw(ctx) = *out;
}

}  // namespace

const cell* field_of(const cell* e, uint32_t index) { return values_of(e) + index; }
cell* field_rw(const cell* e, uint32_t index) { return values_rw(e) + index; }

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
      auto code = integer_type::value_of(&spec);
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
        flow f = evaluator::eval_block(&spec, false);
        stack::top = stack::at_index(mark);
        raise_exit(f);
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
  const cell* t = field_of(e, field::type);
  return is_any_word(type_of(t)) ? std::string(symbol::spelling(word::symbol_of(t))) : std::string();
}

std::string id_name(const cell* e) {
  const cell* t = field_of(e, field::id);
  return is_any_word(type_of(t)) ? std::string(symbol::spelling(word::symbol_of(t))) : std::string();
}

void raise(const cell* e_in) {
  cell e = *e_in;
  if (type_of(field_of(&e, field::where)) == type::none) {
    cell name;
    stack::get_call_name(&name);
    set_field(&e, field::where, &name);
  }
  if (type_of(field_of(&e, field::near)) == type::none &&
      type_of(&evaluator::current_code) == type::block)
    set_field(&e, field::near, &evaluator::current_code);
  if (type_of(field_of(&e, field::stack)) != type::block) {
    cell level{type::integer, 0, static_cast<uint32_t>(stack::frame_top - stack::frame_bottom), 0};
    set_field(&e, field::stack, &level);
  }
  uint32_t code = static_cast<uint32_t>(integer_type::value_of(field_of(&e, field::code)));
  err id = type_of(field_of(&e, field::code)) == type::integer ? entry_of_code(code)
                                                                : err::internal_invalid_error;
  // A trace callback needs frames: not while the stacks are full.
  if (id != err::internal_stack_overflow) evaluator::trace_error(&e);
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

namespace {
// The raiser `fire` calls once the prototype exists.
[[noreturn]] void raise_new(err e, const cell* arg1, const cell* arg2, const cell* arg3) {
  cell made;
  create(&made, e, arg1, arg2, arg3);
  cell* kept = stack::push(&made);  // on the stack while where and near are filled in
  raise(kept);
}
}  // namespace

void init() {
  if (prototype) return;
  collector::add_mark_callback(mark_roots);
  node_t proto = context::create(field::count, false, false, 0, context::kind_object);
  for (const char* name : field_names) context::add_word(proto, symbol::make(name));
  build_catalogue();
  prototype = proto;
  set_error_raiser(raise_new);
}

}  // namespace kaz::error

// logic!: true and false.
#include "core/function.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/truth.h"
#include "datatypes/integer.h"
#include "datatypes/random.h"
#include "datatypes/simple_types.h"
#include "runtime/fire.h"

namespace kaz {

cell true_value;
cell false_value;

namespace logic_type {

namespace {

cell* set(cell* proto, bool v) {
  proto->header = type::logic;
  proto->data1 = v ? 1 : 0;
  return proto;
}

// to: a logic! gives itself, none! false, anything else true.
cell* to(cell* proto, cell* spec, uint32_t) {
  if (type_of(spec) == type::logic) return set(proto, spec->data1 == 1);
  return set(proto, type_of(spec) != type::none);
}

// make: numbers give false only for zero; other values as to.
cell* make(cell* proto, cell* spec, uint32_t t) {
  switch (type_of(spec)) {
    case type::integer:
      return set(proto, integer_type::value_of(spec) != 0);
    case type::float_:
    case type::percent:
      return set(proto, !(get_double(spec) == 0.0));
    default:
      return to(proto, spec, t);
  }
}

int32_t form(cell* v, cell* buffer, cell*, int32_t limit) {
  bool t = v->data1 == 1;
  string::append_ascii(series::node_of(buffer), t ? "true" : "false");
  return limit - (t ? 4 : 5);
}

int32_t mold(cell* v, cell* buffer, bool, bool all, bool, cell* part, int32_t limit, int32_t) {
  if (!all) return form(v, buffer, part, limit);
  bool t = v->data1 == 1;
  string::append_ascii(series::node_of(buffer), t ? "#(true)" : "#(false)");
  return limit - (t ? 7 : 8);
}

// false sorts before true. Logic values are ordered under every comparison (lesser? false true
// is true), as the shared comparison entry has always treated them.
int32_t compare(cell* a, cell* b, int32_t) {
  if (type_of(b) != type::logic) return -2;
  return static_cast<int32_t>(a->data1 == 1) - static_cast<int32_t>(b->data1 == 1);
}

void bitwise(int code) {
  cell* a = stack::arguments;
  cell* b = a + 1;
  if (type_of(b) != type::logic) {
    cell name;
    stack::get_call_name(&name);
    cell dt{type::datatype_, type_of(b), 0, 0};
    cell w;
    function::spec_word_at(0, &w);
    fire(err::script_expect_arg, &name, &dt, &w);
  }
  switch (code) {
    case 5: a->data1 |= b->data1; break;
    case 6: a->data1 &= b->data1; break;
    default: a->data1 ^= b->data1; break;
  }
}

void and_t() { bitwise(6); }
void or_t() { bitwise(5); }
void xor_t() { bitwise(7); }

cell* complement(cell* v) {
  v->data1 ^= 1;
  return v;
}

}  // namespace

// The builders normalise: any non-zero value is true, so a built logic! is always 0 or 1.
cell* box(uint32_t value) {
  cell* r = stack::arguments;
  *r = cell{type::logic, value ? 1u : 0u, 0, 0};
  return r;
}

cell* push(uint32_t value) {
  cell* c = stack::reserve_cell();
  *c = cell{type::logic, value ? 1u : 0u, 0, 0};
  return c;
}

cell* append_to_block(cell* block, uint32_t value) {
  cell* c = memory::append_to_block(block);
  *c = cell{type::logic, value ? 1u : 0u, 0, 0};
  return c;
}

bool true_test(const cell* value, bool check_unset, const cell* argument) {
  if (check_unset && type_of(value) == type::unset) fire(err::script_no_value, argument);
  return is_true(value);
}

bool result_false() { return is_false(stack::arguments); }

bool stack_top_false() {
  const cell* v = stack::top > stack::arguments ? stack::last_value() : stack::top;
  return is_false(v);
}

void init() {
  true_value = cell{type::logic, 1, 0, 0};
  false_value = cell{type::logic, 0, 0, 0};
  registry::add(type::logic, {.make = make,
                              .random = random::logic_value,
                              .to = to,
                              .form = form,
                              .mold = mold,
                              .compare = compare,
                              .and_t = and_t,
                              .complement = complement,
                              .or_t = or_t,
                              .xor_t = xor_t});
}

}  // namespace logic_type
}  // namespace kaz

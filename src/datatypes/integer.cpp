// integer!: 32-bit signed integers; add, subtract and multiply that overflow give float!.
#include <cstdio>

#include "core/fire.h"
#include "core/stack.h"
#include "datatypes/registry.h"
#include "datatypes/scalar_types.h"
#include "datatypes/string_storage.h"

namespace kaz::integer_type {

namespace {

inline int32_t value(const cell* c) { return static_cast<int32_t>(c->data2); }

cell* set(cell* c, int32_t v) {
  c->header = type::integer;
  c->data2 = static_cast<uint32_t>(v);
  return c;
}

cell* make(cell* proto, cell* spec, uint32_t t) {
  switch (type_of(spec)) {
    case type::integer:
    case type::char_:
      return set(proto, value(spec));
    case type::logic:
      return set(proto, spec->data1 == 1 ? 1 : 0);
    default: {
      cell dt{type::datatype_, t, 0, 0};
      fire(err::script_bad_make_arg, &dt, spec);
    }
  }
}

int32_t form(cell* v, cell* buffer, cell*, int32_t limit) {
  char text[16];
  int n = std::snprintf(text, sizeof text, "%d", value(v));
  string::append_ascii(buffer->data2, std::string_view(text, static_cast<size_t>(n)));
  return limit - n;
}

int32_t mold(cell* v, cell* buffer, bool, bool, bool, cell* part, int32_t limit, int32_t) {
  return form(v, buffer, part, limit);
}

int32_t compare(cell* a, cell* b, int32_t op) {
  uint32_t bt = type_of(b);
  if (bt != type::integer && bt != type::char_) return -2;
  if (op == 2 && bt != type_of(a)) return 1;
  int32_t x = value(a), y = value(b);
  return x < y ? -1 : x > y ? 1 : 0;
}

// add, subtract, multiply on two integers; an overflow gives the exact float! result.
void arith(int code) {
  cell* a = stack::arguments;
  cell* b = a + 1;
  if (type_of(b) != type::integer && type_of(b) != type::char_) {
    cell dt{type::datatype_, type_of(b), 0, 0};
    fire(err::script_not_related, &dt, a);
  }
  int32_t x = value(a), y = value(b);
  int32_t r;
  bool overflow;
  switch (code) {
    case 0: overflow = __builtin_add_overflow(x, y, &r); break;
    case 1: overflow = __builtin_sub_overflow(x, y, &r); break;
    default: overflow = __builtin_mul_overflow(x, y, &r); break;
  }
  if (overflow) {
    double d = code == 0 ? double(x) + y : code == 1 ? double(x) - y : double(x) * y;
    a->header = type::float_;
    put_double(a, d);
    return;
  }
  set(a, r);
}

void add() { arith(0); }
void subtract() { arith(1); }
void multiply() { arith(2); }

}  // namespace

void init() {
  registry::add(type::integer, {.make = make,
                                .to = make,
                                .form = form,
                                .mold = mold,
                                .compare = compare,
                                .add = add,
                                .multiply = multiply,
                                .subtract = subtract});
}

}  // namespace kaz::integer_type

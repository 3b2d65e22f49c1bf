// vector! arithmetic and bitwise actions.
#include "datatypes/vector_math.h"

#include <cmath>
#include <cstdint>

#include "core/registry.h"
#include "core/stack.h"
#include "datatypes/integer.h"
#include "datatypes/series_common.h"
#include "datatypes/vector.h"
#include "runtime/fire.h"

namespace kaz::vector::math {

namespace {

// Operation codes, as the integer and float cores number them.
enum op : int { op_add, op_subtract, op_multiply, op_divide, op_remainder, op_or, op_and, op_xor };

// The integer element operation: add, subtract and multiply wrap around 32 bits.
int32_t int_op(int32_t a, int32_t b, int code) {
  auto ua = static_cast<uint32_t>(a), ub = static_cast<uint32_t>(b);
  switch (code) {
    case op_add:
      return static_cast<int32_t>(ua + ub);
    case op_subtract:
      return static_cast<int32_t>(ua - ub);
    case op_multiply:
      return static_cast<int32_t>(ua * ub);
    case op_divide:
    case op_remainder:
      if (b == 0) fire(err::math_zero_divide);
      if (a == INT32_MIN && b == -1) fire(err::math_overflow);
      return code == op_divide ? a / b : a % b;
    case op_or:
      return a | b;
    case op_and:
      return a & b;
    default:
      return a ^ b;
  }
}

[[noreturn]] void cannot_use_on_float() {
  cell name;
  stack::get_call_name(&name);
  cell dt{type::datatype_, type::float_, 0, 0};
  fire(err::script_cannot_use, &name, &dt);
}

// The double element operation (IEEE: division by zero gives infinities or NaN).
double float_op(double a, double b, int code) {
  switch (code) {
    case op_add:
      return a + b;
    case op_subtract:
      return a - b;
    case op_multiply:
      return a * b;
    case op_divide:
      return a / b;
    case op_remainder:
      return std::fmod(a, b);
    default:
      cannot_use_on_float();
  }
}

bool is_float_type(uint32_t t) { return t == type::float_ || t == type::percent; }

struct elements {
  const uint8_t* p;
  uint32_t width;
  uint32_t count;
};
elements elements_of(cell* v) {
  series_buffer* s = memory::buffer_of(v->data2);
  uint32_t n = series::length_from_head(v);
  return {s->head() + size_t(v->data1) * s->unit(), s->unit(), n};
}
// The address of the head element, to write the elements.
uint8_t* elements_rw(cell* v) {
  series_buffer* s = memory::buffer_of(v->data2);
  return s->head_rw() + size_t(v->data1) * s->unit();
}

// Vector with vector: a new vector of the shorter length and the larger width.
void with_vector(cell* a, cell* b, int code) {
  uint32_t t = a->data3;
  if (b->data3 != t) fire(err::script_not_same_type);
  if (is_float_type(t) && code >= op_or) cannot_use_on_float();
  elements x = elements_of(a), y = elements_of(b);
  uint32_t n = x.count < y.count ? x.count : y.count;
  uint32_t width = x.width > y.width ? x.width : y.width;
  cell out;
  alloc(&out, n, t, width);
  cell* held = stack::push(&out);
  x = elements_of(a);
  y = elements_of(b);
  series_buffer* s = memory::buffer_of(held->data2);
  uint8_t* w = s->tail_rw();
  for (uint32_t i = 0; i < n; ++i) {
    cell p, q, r;
    read_element(x.p + size_t(i) * x.width, x.width, t, &p);
    read_element(y.p + size_t(i) * y.width, y.width, t, &q);
    if (is_float_type(t)) {
      r = cell{t, 0, 0, 0};
      put_double(&r, float_op(get_double(&p), get_double(&q), code));
    } else {
      r = cell{t, 0, static_cast<uint32_t>(int_op(int32_t(p.data2), int32_t(q.data2), code)), 0};
    }
    write_element(w + size_t(i) * width, width, &r);
  }
  s->tail += n * width;
  *a = *held;
}

// Vector with a scalar: every element from the head changed in place.
void with_scalar(cell* v, cell* scalar, int code) {
  uint32_t t = v->data3, st = type_of(scalar);
  if (is_float_type(t)) {
    double d;
    if (st == type::integer) d = integer_type::value_of(scalar);
    else if (is_float_type(st)) d = get_double(scalar);
    else fire(err::internal_not_done);
    if (code >= op_or) cannot_use_on_float();
    if (((code == op_add || code == op_subtract) && d == 0.0) ||
        ((code == op_multiply || code == op_divide) && d == 1.0))
      return;
    elements e = elements_of(v);
    uint8_t* base = elements_rw(v);
    for (uint32_t i = 0; i < e.count; ++i) {
      uint8_t* p = base + size_t(i) * e.width;
      cell x;
      read_element(p, e.width, t, &x);
      put_double(&x, float_op(get_double(&x), d, code));
      write_element(p, e.width, &x);
    }
    return;
  }
  int32_t k;
  if (st == type::integer) k = integer_type::value_of(scalar);
  else if (is_float_type(st)) k = series::to_int_arg(scalar);
  else fire(err::internal_not_done);
  if (((code == op_add || code == op_subtract) && k == 0) ||
      ((code == op_multiply || code == op_divide) && k == 1))
    return;
  elements e = elements_of(v);
  // Every failing element is found before any changes.
  if (code == op_divide || code == op_remainder) {
    if (k == 0) fire(err::math_zero_divide);
    if (k == -1 && e.width == 4)
      for (uint32_t i = 0; i < e.count; ++i) {
        cell x;
        read_element(e.p + size_t(i) * 4, 4, t, &x);
        if (static_cast<int32_t>(x.data2) == INT32_MIN) fire(err::math_overflow);
      }
  }
  uint8_t* base = elements_rw(v);
  for (uint32_t i = 0; i < e.count; ++i) {
    uint8_t* p = base + size_t(i) * e.width;
    cell x;
    read_element(p, e.width, t, &x);
    x.data2 = static_cast<uint32_t>(int_op(static_cast<int32_t>(x.data2), k, code));
    write_element(p, e.width, &x);
  }
}

// Scalar with vector: a new vector of scalar op element, the vector left as it was.
void scalar_with_vector(cell* scalar, cell* v, int code) {
  uint32_t t = v->data3, st = type_of(scalar);
  bool floats = is_float_type(t);
  if (floats && code >= op_or) cannot_use_on_float();
  double d = 0;
  int32_t k = 0;
  if (st == type::integer || st == type::char_) {
    k = static_cast<int32_t>(scalar->data2);
    d = k;
  } else if (is_float_type(st)) {
    d = get_double(scalar);
    if (!floats) k = series::to_int_arg(scalar);
  } else {
    fire(err::internal_not_done);
  }
  elements e = elements_of(v);
  cell out;
  alloc(&out, e.count, t, e.width);
  cell* held = stack::push(&out);
  e = elements_of(v);
  series_buffer* s = memory::buffer_of(held->data2);
  uint8_t* w = s->tail_rw();
  for (uint32_t i = 0; i < e.count; ++i) {
    cell x;
    read_element(e.p + size_t(i) * e.width, e.width, t, &x);
    if (floats)
      put_double(&x, float_op(d, get_double(&x), code));
    else
      x.data2 = static_cast<uint32_t>(int_op(k, static_cast<int32_t>(x.data2), code));
    write_element(w + size_t(i) * e.width, e.width, &x);
  }
  s->tail += e.count * e.width;
  *scalar = *held;
}

void do_math(int code) {
  cell* a = stack::arguments;
  cell* b = stack::arguments + 1;
  if (type_of(b) == type::vector) with_vector(a, b, code);
  else with_scalar(a, b, code);
  stack::top = stack::arguments + 1;
}

}  // namespace

void scalar_first(int code) {
  scalar_with_vector(stack::arguments, stack::arguments + 1, code);
  stack::top = stack::arguments + 1;
}

void add() { do_math(op_add); }
void subtract() { do_math(op_subtract); }
void multiply() { do_math(op_multiply); }
void divide() { do_math(op_divide); }
void remainder() { do_math(op_remainder); }
void and_t() { do_math(op_and); }
void or_t() { do_math(op_or); }
void xor_t() { do_math(op_xor); }

}  // namespace kaz::vector::math

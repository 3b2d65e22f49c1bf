// string!: making and converting, form and mold, path access, comparison, swap and take; the
// registration of its action slots. Searching, insertion, sorting, trimming and the set
// operations have files of their own.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/actions.h"
#include "core/registry.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "datatypes/integer.h"
#include "datatypes/series_common.h"
#include "datatypes/series_types.h"
#include "datatypes/string_actions.h"
#include "datatypes/vector.h"
#include "runtime/fire.h"

namespace kaz::string_type {

namespace {

cell datatype_cell(uint32_t t) { return cell{type::datatype_, t, 0, 0}; }

// A new string on the stack holding the value formed (or molded with /only /all).
cell* formed(const cell* value, bool mold) {
  cell* out = stack::reserve_cell();
  string::make_at(out, 16);
  cell v = *value;
  if (mold) {
    actions::mold(&v, out, true, true, false, nullptr, 0x7FFFFFFF, 0);
  } else {
    actions::form(&v, out, nullptr, 0x7FFFFFFF);
  }
  return out;
}

}  // namespace

void element_value(const uint8_t* p, uint32_t unit, uint32_t series_type, uint32_t element_type,
                   cell* out) {
  if (series_type == type::binary) {
    *out = cell{type::integer, 0, *p, 0};
  } else if (series_type == type::vector) {
    *out = cell{element_type, 0, 0, 0};
    if (element_type == type::float_ || element_type == type::percent) {
      double d;
      if (unit == 4) {
        float f;
        std::memcpy(&f, p, 4);
        d = f;
      } else {
        std::memcpy(&d, p, 8);
      }
      put_double(out, d);
    } else {
      int32_t v = unit == 1 ? static_cast<int8_t>(*p)
                : unit == 2 ? static_cast<int16_t>(string::get_char(p, 2))
                            : static_cast<int32_t>(string::get_char(p, 4));
      out->data2 = static_cast<uint32_t>(v);
    }
  } else {
    *out = cell{type::char_, 0, string::get_char(p, unit), 0};
  }
}

void element_at(const cell* series, uint32_t index, cell* out) {
  series_buffer* s = string::buffer_of(series);
  uint32_t t = type_of(series);
  uint32_t unit = t == type::vector || t == type::binary ? s->unit() : string::checked_unit(s);
  element_value(s->head() + size_t(index) * unit, unit, t, vector::element_type_of(series), out);
}

// ---------------------------------------------------------------------------------------------
// make and to.

cell* make(cell* proto, cell* spec, uint32_t t) {
  uint32_t st = type_of(spec);
  if (st == type::integer || st == type::float_) {
    int32_t n = series::to_int_arg(spec);
    if (n < 0) fire(err::script_out_of_range, spec);
    string::make_at(proto, n ? static_cast<uint32_t>(n) : 16, t);
    return proto;
  }
  if (t == type::binary) {
    cell dt = datatype_cell(t);
    slot_fn::make binary_to = registry::row(type::binary).to;
    if (st == type::money || !binary_to) fire(err::script_bad_make_arg, &dt, spec);
    return binary_to(proto, spec, t);
  }
  return to(proto, spec, t);
}

cell* to(cell* proto, cell* spec, uint32_t t) {
  uint32_t st = type_of(spec);
  cell v = *spec;
  cell result;
  if (st == type::none) {
    cell dt = datatype_cell(type::string);
    fire(err::script_bad_to_arg, &dt, &v);
  } else if (st == type::block || st == type::paren || st == type::hash) {
    cell* out = stack::reserve_cell();
    string::make_at(out, 16);
    insert(out, &v, -1, false, 1, true);
    result = *out;
  } else if (is_any_string(st)) {
    series_buffer* s = string::buffer_of(&v);
    result = cell{t, 0, memory::copy_part(s, v.data1, string::length_from_head(&v)), 0};
  } else if (st == type::refinement) {
    result = *formed(&v, t != type::string);
  } else if (st == type::binary) {
    series_buffer* s = string::buffer_of(&v);
    uint32_t head = std::min(v.data1, s->length());
    result = *string::load_utf8_binary(s->head() + head, s->length() - head);
  } else {
    result = *formed(&v, false);
  }
  result.header = t;
  result.data1 = 0;
  result.data3 = 0;
  *proto = result;
  return proto;
}

// ---------------------------------------------------------------------------------------------
// form, mold, compare.

int32_t form(cell* value, cell* buffer, cell* part, int32_t limit) {
  cell v = *value;
  uint32_t n = string::length_from_head(&v);
  int32_t count = part ? std::clamp<int32_t>(limit, 0, static_cast<int32_t>(std::min<uint32_t>(n, 0x7FFFFFFF))) : -1;
  string::concatenate(buffer, &v, count, 0, true, string::concat_mode::append);
  return limit - static_cast<int32_t>(std::min<uint32_t>(n, 0x7FFFFFFF));
}

int32_t mold(cell* value, cell* buffer, bool, bool all, bool, cell* part, int32_t limit,
             int32_t) {
  cell v = *value;
  return string::mold_text(&v, buffer->data2, all, part, limit);
}

int32_t compare(cell* a, cell* b, int32_t op) {
  uint32_t ta = type_of(a), tb = type_of(b);
  if (ta != tb) {
    bool mixed = is_any_string(ta) && is_any_string(tb) &&
                 (op == actions::op::equal || op == actions::op::not_equal);
    if (!mixed) return -2;
  }
  return string::compare_strings(a, b, op, false);
}

// ---------------------------------------------------------------------------------------------
// Path access: s/3 picks or pokes a character; s/"x" selects the character after "x".

const cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t,
                bool case_, bool, bool) {
  uint32_t et = type_of(element);
  const action_row& row = registry::row(type_of(parent));
  if (et == type::integer) {
    auto i = integer_type::value_of(element);
    if (!value) {
      if (!row.pick) actions::unsupported(parent, slot::pick);
      return row.pick(parent, i, element);
    }
    if (!row.poke) actions::unsupported(parent, slot::poke);
    return row.poke(parent, i, value, element);
  }
  if (et == type::word) fire(err::script_invalid_path, path, element);
  cell* at = stack::push(parent);
  if (!value) return select(at, element, nullptr, false, case_, false, false, nullptr, nullptr,
                            false, false);
  find(at, element, nullptr, false, case_, false, false, nullptr, nullptr, false, false, true,
       false);
  if (type_of(at) == type::none) fire(err::script_bad_path_set, path, element);
  if (!row.poke) actions::unsupported(parent, slot::poke);
  cell index{type::integer, 0, 1, 0};
  return row.poke(at, 1, value, &index);
}

// ---------------------------------------------------------------------------------------------
// swap and take.

cell* swap(cell* a, cell* b) {
  uint32_t ta = type_of(a), tb = type_of(b);
  if (!is_any_string(tb) && tb != type::binary) fire(err::script_invalid_arg, b);
  if (string::at_tail_q(a) || string::at_tail_q(b)) return a;
  // A byte series takes only bytes: refuse before anything changes.
  auto check_bytes = [&] {
    uint32_t ca = string::char_at_absolute(a, a->data1);
    uint32_t cb = string::char_at_absolute(b, b->data1);
    if (ta == type::binary && cb > 0xFF) fire(err::script_invalid_arg, b);
    if (tb == type::binary && ca > 0xFF) fire(err::script_invalid_arg, a);
  };
  check_bytes();
  auto ia = static_cast<int32_t>(a->data1), ib = static_cast<int32_t>(b->data1);
  bool owned_a = series::owned_before(a, series::change::swap, b, ia, 1);
  bool owned_b = series::owned_before(b, series::change::swap, a, ib, 1);
  // An owner's handler may have changed either series: look again.
  if (!string::at_tail_q(a) && !string::at_tail_q(b)) {
    check_bytes();
    uint32_t ca = string::char_at_absolute(a, a->data1);
    uint32_t cb = string::char_at_absolute(b, b->data1);
    string::write_code_point(a->data2, a->data1, cb);
    string::write_code_point(b->data2, b->data1, ca);
  }
  if (owned_a) series::owned_after(a, series::change::swap, b, ia, 1);
  if (owned_b) series::owned_after(b, series::change::swap, a, ib, 1);
  return a;
}

cell* take(cell* series, cell* part, bool deep, bool last) {
  slot_fn::take generic = registry::row(type::series).take;
  if (!generic) actions::unsupported(series, slot::take);
  cell* r = generic(series, part, deep, last);
  if (part || type_of(r) == type::none || string::absolute_length(r) != 1) return r;
  cell e;
  element_at(r, 0, &e);
  *r = e;
  return r;
}

// ---------------------------------------------------------------------------------------------
// Registration.

void init() {
  registry::add(type::string,
                {.make = make,
                 .to = to,
                 .form = form,
                 .mold = mold,
                 .eval_path = eval_path,
                 .compare = compare,
                 .append = insert,
                 .change = change,
                 .find = find,
                 .insert = insert,
                 .select = select,
                 .sort = sort,
                 .swap = swap,
                 .take = take,
                 .trim = trim},
                inherited(slot::random, slot::reflect, slot::at, slot::back, slot::clear,
                          slot::copy, slot::head, slot::head_q, slot::index_q, slot::length_q,
                          slot::move, slot::next, slot::pick, slot::poke, slot::remove,
                          slot::reverse, slot::skip, slot::tail, slot::tail_q, slot::modify));
}

}  // namespace kaz::string_type

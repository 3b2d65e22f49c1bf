#include "core/scalar_cell.h"
#include "core/typeset.h"

#include "core/block_storage.h"
#include "core/context.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "runtime/fire.h"
#include "runtime/runtime_error.h"

namespace kaz::typeset {

namespace {

void merge(cell* ts, const cell* other) {
  ts->data1 |= other->data1;
  ts->data2 |= other->data2;
  ts->data3 |= other->data3;
}

}  // namespace

void add_word(cell* ts, const cell* element) {
  const cell* v = element;
  if (type_of(v) == type::word) {
    v = context::get_value(v);
    if (type_of(v) == type::unset) fire(err::script_no_value, element);
  }
  if (type_of(v) == type::typeset) {
    merge(ts, v);
  } else if (type_of(v) == type::datatype_) {
    add(ts, datatype_type::id_of(v));
  } else {
    fire(err::script_invalid_arg, element);
  }
}

uint32_t count_types(const cell* ts) {
  uint32_t n = 0;
  for (uint32_t t = 1; t <= registry::highest_id(); ++t)
    if (has(ts, t)) ++n;
  return n;
}

namespace {

cell* make(cell* proto, cell* spec, uint32_t) {
  if (type_of(spec) == type::typeset) {
    *proto = *spec;
    proto->header = type::typeset;
    return proto;
  }
  if (type_of(spec) != type::block) {
    cell dt{type::datatype_, type::typeset, 0, 0};
    fire(err::script_bad_to_arg, &dt, spec);
  }
  cell ts;
  clear(&ts);
  cell b = *spec;
  for (int32_t i = 0; i < block::rs_length(&b); ++i) {
    cell e = *(block::rs_head(&b) + i);
    add_word(&ts, &e);
  }
  *proto = ts;
  return proto;
}

int32_t serialize(cell* ts, cell* buffer, bool only, cell* part, int32_t limit) {
  node_t out = series::node_of(buffer);
  if (!only) {
    string::append_ascii(out, "make typeset! [");
    limit -= 15;
  }
  bool any = false;
  for (uint32_t t = 1; t <= registry::highest_id(); ++t) {
    if (!has(ts, t)) continue;
    if (part && limit <= 0) return limit;
    string::append_ascii(out, registry::name(t));
    string::append_ascii(out, " ");
    limit -= static_cast<int32_t>(registry::name_length(t) + 2);
    any = true;
  }
  series_buffer* s = memory::buffer_of(out);
  if (only) {
    if (any) s->tail -= s->unit();
  } else if (any) {
    string::remove_part(out, s->length() - 1, 1);
    string::append_ascii(out, "]");
  } else {
    string::append_ascii(out, "]");
  }
  return limit;
}

int32_t form(cell* v, cell* buffer, cell* part, int32_t limit) {
  return serialize(v, buffer, false, part, limit);
}

int32_t mold(cell* v, cell* buffer, bool only, bool, bool, cell* part, int32_t limit, int32_t) {
  return serialize(v, buffer, only, part, limit);
}

int32_t compare(cell* a, cell* b, int32_t op) {
  if (type_of(b) != type::typeset) return -2;
  switch (op) {
    case 0: case 1: case 2: case 9: case 12:
      return a->data1 == b->data1 && a->data2 == b->data2 && a->data3 == b->data3 ? 0 : 1;
    case 7: case 8: {
      uint32_t x = count_types(a), y = count_types(b);
      return x < y ? -1 : x > y ? 1 : 0;
    }
    default:
      return -2;
  }
}

}  // namespace

void set_operation(int32_t code) {
  cell* a = stack::arguments;
  cell* b = a + 1;
  cell other;
  if (type_of(b) == type::datatype_) {
    clear(&other);
    add(&other, datatype_type::id_of(b));
  } else if (type_of(b) == type::typeset) {
    other = *b;
  } else {
    fire(err::script_invalid_arg, b);
  }
  switch (code) {
    case 5: case 9:
      merge(a, &other);
      break;
    case 6: case 10:
      a->data1 &= other.data1, a->data2 &= other.data2, a->data3 &= other.data3;
      break;
    case 7: case 12:
      a->data1 ^= other.data1, a->data2 ^= other.data2, a->data3 ^= other.data3;
      break;
    case 11:
      a->data1 &= ~other.data1, a->data2 &= ~other.data2, a->data3 &= ~other.data3;
      break;
    case 8:
      break;  // unique: the first argument itself
    default:
      sysrt::quit_with_code(101, sysrt::code_address(&set_operation));
  }
  stack::top = stack::arguments + 1;
}

namespace {

void and_t() { set_operation(6); }
void or_t() { set_operation(5); }
void xor_t() { set_operation(7); }

cell* complement(cell* v) {
  v->data1 = ~v->data1;
  v->data2 = ~v->data2;
  v->data3 = ~v->data3;
  return v;
}

cell* find(cell* ts, cell* value, cell*, bool, bool, bool, bool, cell*, cell*, bool, bool, bool,
           bool) {
  if (type_of(value) != type::datatype_) fire(err::script_invalid_arg, value);
  bool r = has(ts, datatype_type::id_of(value));
  cell* out = stack::arguments;
  out->header = type::logic;
  out->data1 = r ? 1 : 0;
  return out;
}

}  // namespace

void make_default(cell* ts) {
  ts->header = type::typeset;
  ts->data1 = ts->data2 = ts->data3 = 0xFFFFFFFF;
  map_bytes(ts)[type::unset >> 3] &= uint8_t(~(0x80u >> (type::unset & 7)));
}

void to_block(const cell* ts_in, cell* block_cell) {
  cell ts = *ts_in;
  uint32_t base = stack::index_of(stack::top);
  cell* b = block::push_only(4);
  for (uint32_t t = 1; t <= registry::highest_id(); ++t) {
    if (!has(&ts, t)) continue;
    cell w;
    context::intern_global(symbol::make(registry::name(t)), &w);
    block::append_copy(b, &w);
  }
  *block_cell = *b;
  stack::top = stack::at_index(base);
}

void make_from_spec(cell* ts, cell* type_block) {
  clear(ts);
  cell b = *type_block;
  for (int32_t i = 0; i < block::rs_length(&b); ++i) {
    cell e = *(block::rs_head(&b) + i);
    const cell* v = &e;
    if (type_of(v) == type::word) v = context::get_value(v);
    if (type_of(v) == type::datatype_) {
      add(ts, datatype_type::id_of(v));
    } else if (type_of(v) == type::typeset) {
      merge(ts, v);
    } else if (type_of(v) != type::block) {
      fire(err::script_invalid_type_spec, &e);
    }
  }
}

void init() {
  registry::add(type::typeset, {.make = make,
                                .to = make,
                                .form = form,
                                .mold = mold,
                                .compare = compare,
                                .and_t = and_t,
                                .complement = complement,
                                .or_t = or_t,
                                .xor_t = xor_t,
                                .find = find});
}

}  // namespace kaz::typeset

// Series, set and conversion natives: the set operations, complement?, the URL and base-N
// codecs, case conversion, the new-line marker, extend and as.
#include "core/block_storage.h"
#include "core/function.h"
#include "core/registry.h"
#include "core/scalar_cell.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/typeset.h"
#include "core/word.h"
#include "datatypes/base_codecs.h"
#include "datatypes/binary.h"
#include "datatypes/bitset.h"
#include "datatypes/block_actions.h"
#include "datatypes/date.h"
#include "datatypes/map.h"
#include "datatypes/money.h"
#include "datatypes/string_actions.h"
#include "datatypes/url.h"
#include "eval/natives.h"
#include "memory/case_map.h"
#include "runtime/fire.h"

namespace kaz::natives {

namespace {

inline cell* arg(uint32_t i) { return stack::arguments + i; }
inline cell* opt(const int32_t* refs, uint32_t k) {
  return refs[k] >= 0 ? stack::arguments + static_cast<uint32_t>(refs[k]) : nullptr;
}

flow done(const cell* result) {
  stack::set_result_only(result);
  return flow::normal;
}

cell datatype_of(uint32_t t) { return cell{type::datatype_, t, 0, 0}; }

// expect-arg naming the running native, the value's datatype and its argument word.
[[noreturn]] void expect_arg(const cell* value, uint32_t argument) {
  cell name, word;
  stack::get_call_name(&name);
  cell dt = datatype_of(type_of(value));
  function::spec_word_at(argument, &word);
  fire(err::script_expect_arg, &name, &dt, &word);
}

// ---------------------------------------------------------------------------------------------
// Set operations.

namespace set_code {
constexpr int32_t unique = 8;
constexpr int32_t union_ = 9;
constexpr int32_t intersect = 10;
constexpr int32_t exclude = 11;
constexpr int32_t difference = 12;
}  // namespace set_code

// typeset!: the 96-bit maps combined bit by bit.
void typeset_operation(int32_t code) {
  uint8_t* a = typeset::map_bytes(arg(0));
  const uint8_t* b = typeset::map_bytes(arg(1));
  for (int i = 0; i < 12; ++i) {
    switch (code) {
      case set_code::union_:
        a[i] |= b[i];
        break;
      case set_code::intersect:
        a[i] &= b[i];
        break;
      case set_code::exclude:
        a[i] &= uint8_t(~b[i]);
        break;
      case set_code::difference:
        a[i] ^= b[i];
        break;
      default:
        break;
    }
  }
}

flow set_operation(int32_t code, const int32_t* refs) {
  bool case_ = refs[0] >= 0;
  cell* skip = opt(refs, 1);
  uint32_t t1 = type_of(arg(0));
  if (code != set_code::unique) {
    uint32_t t2 = type_of(arg(1));
    bool list1 = t1 == type::block || t1 == type::hash;
    bool list2 = t2 == type::block || t2 == type::hash;
    if (list1 ? !list2 : t1 != t2) {
      cell x = datatype_of(t1), y = datatype_of(t2);
      fire(err::script_expect_val, &x, &y);
    }
  }
  switch (t1) {
    case type::block:
    case type::hash:
      block_type::set_operation(case_, skip, code);
      if (t1 == type::block && type_of(arg(0)) != type::block) {
        // The result has set1's datatype, whatever set2's.
        set_type(arg(0), type::block);
        arg(0)->data3 = 0;
      }
      break;
    case type::string:
      string_type::set_operation(case_, skip, code);
      break;
    case type::bitset: {
      using op = bitset_type::set_op;
      bitset_type::set_operation(code == set_code::union_       ? op::or_
                                 : code == set_code::intersect  ? op::intersect
                                 : code == set_code::difference ? op::xor_
                                 : code == set_code::exclude    ? op::exclude
                                                                : op::unique);
      break;
    }
    case type::typeset:
      if (code == set_code::unique) expect_arg(arg(0), 0);
      typeset_operation(code);
      break;
    case type::date:
      if (code != set_code::difference) expect_arg(arg(0), 0);
      date_type::difference(arg(0), arg(1));
      break;
    default:
      expect_arg(arg(0), 0);
  }
  stack::top = stack::arguments + 1;
  return flow::normal;
}

// ---------------------------------------------------------------------------------------------
// Codecs.

// The base of debase and enbase: 64 by default, else 64, 58, 16 or 2.
uint32_t base_of(const int32_t* refs) {
  cell* b = opt(refs, 0);
  if (!b) return 64;
  auto base = integer_type::value_of(b);
  if (base != 64 && base != 58 && base != 16 && base != 2) fire(err::script_invalid_arg, b);
  return static_cast<uint32_t>(base);
}

cell* new_text(uint32_t capacity) {
  cell* out = stack::reserve_cell();
  string::make_at(out, capacity);
  return out;
}

}  // namespace

flow union_(const int32_t* refs) { return set_operation(set_code::union_, refs); }
flow intersect(const int32_t* refs) { return set_operation(set_code::intersect, refs); }
flow unique(const int32_t* refs) { return set_operation(set_code::unique, refs); }
flow difference(const int32_t* refs) { return set_operation(set_code::difference, refs); }
flow exclude(const int32_t* refs) { return set_operation(set_code::exclude, refs); }

flow complement_q(const int32_t*) {
  if (type_of(arg(0)) != type::bitset) expect_arg(arg(0), 0);
  bool on = memory::buffer_of(bitset_type::node_of(arg(0)))->flags & series_flag::complement;
  cell v{type::logic, on ? 1u : 0u, 0, 0};
  return done(&v);
}

flow dehex(const int32_t*) {
  cell value = *arg(0);
  cell* out = new_text(string::length_from_head(&value));
  url::decode_percent(&value, series::node_of(out));
  return done(out);
}

flow enhex(const int32_t*) {
  cell value = *arg(0);
  cell* out = new_text(string::length_from_head(&value) * 3);
  url::encode_percent(&value, series::node_of(out),
                      type_of(&value) == type::string ? url::strict : 0);
  return done(out);
}

flow debase(const int32_t* refs) {
  uint32_t base = base_of(refs);
  cell value = *arg(0);
  uint32_t count = string::length_from_head(&value);
  cell bytes;
  binary::init_cell(&bytes, binary::decoded_room(base, count));
  cell* held = stack::push(&bytes);
  string::text t = string::text_of(&value);
  series_buffer* s = binary::buffer_of(held);
  int64_t n = binary::decode(base, t.p, t.length, t.unit, s->tail_rw());
  if (n < 0) {
    cell none{type::none, 0, 0, 0};
    return done(&none);
  }
  s->tail += static_cast<uint32_t>(n);
  return done(held);
}

flow enbase(const int32_t* refs) {
  uint32_t base = base_of(refs);
  cell value = *arg(0);
  cell bytes = value;
  if (type_of(&value) != type::binary) {
    uint64_t n = binary::byte_count(&value, -1, false);
    if (n >= memory::max_series_bytes) fire(err::script_too_long);
    binary::init_cell(&bytes, static_cast<uint32_t>(n));
    series_buffer* s = binary::buffer_of(stack::push(&bytes));
    binary::write_bytes(s->tail_rw(), &value, -1, false);
    s->tail += static_cast<uint32_t>(n);
  }
  uint32_t n = binary::rs_length(&bytes);
  uint64_t room = binary::encoded_room(base, n);
  if (room >= memory::max_series_bytes) fire(err::script_too_long);
  cell* out = new_text(static_cast<uint32_t>(room));
  series_buffer* s = string::buffer_of(out);
  uint8_t* end = binary::encode(base, s->tail_rw(), binary::rs_head(&bytes), n);
  s->tail += static_cast<uint32_t>(end - s->tail_ptr());
  return done(out);
}

flow uppercase(const int32_t* refs) {
  unicode::change_case_value(arg(0), opt(refs, 0), true);
  stack::top = stack::arguments + 1;
  return flow::normal;
}

flow lowercase(const int32_t* refs) {
  unicode::change_case_value(arg(0), opt(refs, 0), false);
  stack::top = stack::arguments + 1;
  return flow::normal;
}

// ---------------------------------------------------------------------------------------------
// The new-line marker.

flow new_line(const int32_t* refs) {
  cell position = *arg(0);
  bool on = logic_type::value_of(arg(1)) != 0;
  bool all = refs[0] >= 0;
  cell* skip = opt(refs, 1);
  int32_t n = block::rs_length(&position);
  cell* c = n > 0 ? block::rs_head_rw(&position) : nullptr;
  auto mark = [](cell* v, bool set) {
    v->header = set ? v->header | new_line_flag : v->header & ~new_line_flag;
  };
  if (skip) {
    auto size = integer_type::value_of(skip);
    if (size <= 0) fire(err::script_out_of_range, skip);
    for (int32_t i = 0; i < n; ++i) mark(c + i, (i % size == 0) == on);
  } else if (all) {
    for (int32_t i = 0; i < n; ++i) mark(c + i, on);
  } else if (n > 0) {
    mark(c, on);
  }
  return done(&position);
}

flow new_line_q(const int32_t*) {
  cell position = *arg(0);
  bool on = block::rs_length(&position) > 0 && (block::rs_head(&position)->header & new_line_flag);
  cell v{type::logic, on ? 1u : 0u, 0, 0};
  return done(&v);
}

// ---------------------------------------------------------------------------------------------
// extend and as.

flow extend(const int32_t* refs) {
  if (type_of(arg(0)) != type::map) fire(err::internal_not_done);
  cell* spec = arg(1);
  if (type_of(spec) == type::map) {
    slot_fn::reflect body = registry::row(type::map).reflect;
    cell* pairs = stack::push(spec);
    body(pairs, symbol::make("body"));
    spec = pairs;
  }
  map::put_pairs(arg(0), spec, refs[0] >= 0);
  stack::top = stack::arguments + 1;
  return flow::normal;
}

flow as_money(const int32_t*) {
  cell currency = *arg(0);
  int32_t index = money_type::currency_index(symbol::spelling(word::symbol_of(&currency)));
  if (index < 0) fire(err::script_bad_denom, &currency);
  cell amount = *arg(1);
  cell* out = stack::reserve_cell();
  registry::row(type::money).to(out, &amount, type::money);
  out->data1 = (out->data1 & ~0xFFu) | static_cast<uint32_t>(index);
  return done(out);
}

flow as(const int32_t*) {
  cell* kind = arg(0);
  cell spec = *arg(1);
  uint32_t target = type_of(kind) == type::datatype_ ? datatype_type::id_of(kind) : type_of(kind);
  uint32_t from = type_of(&spec);
  auto list = [](uint32_t t) { return t == type::block || t == type::paren || is_any_path(t); };
  if (!((list(target) && list(from)) || (is_any_string(target) && is_any_string(from)))) {
    cell x = datatype_of(from), y = datatype_of(target);
    fire(err::script_not_same_class, &x, &y);
  }
  set_type(&spec, target);
  return done(&spec);
}

}  // namespace kaz::natives

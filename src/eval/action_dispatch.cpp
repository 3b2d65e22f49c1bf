// The stack entries of the actions: each takes its arguments off the evaluation stack and calls
// the implementation of the first argument's datatype.
#include "eval/action_dispatch.h"

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/function.h"
#include "core/registry.h"
#include "core/scalar_cell.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "core/words.h"
#include "datatypes/port.h"
#include "datatypes/series_common.h"
#include "eval/fast_paths.h"
#include "runtime/fire.h"

namespace kaz::actions {

namespace {

inline cell* arg(uint32_t i) { return stack::arguments + i; }
inline bool flag(const int32_t* refs, uint32_t k) { return refs[k] >= 0; }
inline cell* opt(const int32_t* refs, uint32_t k) {
  return refs[k] >= 0 ? stack::arguments + static_cast<uint32_t>(refs[k]) : nullptr;
}
inline const action_row& row_of(const cell* v) { return registry::row(type_of(v)); }

// Stores an implementation's answer as the result (null: it wrote the result slot itself).
inline flow result(const cell* r) {
  if (r && r != stack::arguments) *stack::arguments = *r;
  stack::top = stack::arguments + 1;
  return flow::normal;
}

/*
 * The implementation of slot `s` for a value. A port's actions from 25 (append) on belong to its
 * actor: a port whose actor is a handle takes them from the native actor table the handle
 * designates, where an empty entry raises no-port-action (ports with an actor object never get
 * here: their actions are forwarded first, see port_aware).
 */
template <class F>
F slot_of(const cell* v, uint32_t s, F action_row::*member) {
  if (s > slot::xor_t && type_of(v) == type::port) {
    if (const action_row* actor = port_type::actor_table(v)) {
      F f = actor->*member;
      if (!f) fire(err::access_no_port_action);
      return f;
    }
  }
  F f = row_of(v).*member;
  if (!f) unsupported(v, s);
  return f;
}

#define KAZ_SLOT(value, name) auto f = slot_of(value, slot::name, &action_row::name)

// make and to dispatch on the type a datatype! names, else on the prototype's own type.
flow make_or_to(bool to) {
  cell* proto = arg(0);
  uint32_t t = type_of(proto) == type::datatype_ ? datatype_type::id_of(proto) : type_of(proto);
  const action_row& row = registry::row(t);
  slot_fn::make f = to ? row.to : row.make;
  if (!f) {
    cell dt{type::datatype_, t, 0, 0};
    unsupported(&dt, to ? slot::to : slot::make);
  }
  return result(f(proto, arg(1), t));
}

// The actions whose slot reads its arguments from the stack and leaves the result in place.
#define KAZ_STACK_SLOT(name)                          \
  flow name(const int32_t*) {                         \
    slot_of(arg(0), slot::name, &action_row::name)(); \
    stack::top = stack::arguments + 1;                \
    return flow::normal;                              \
  }

int32_t count_of(cell* c) {
  if (type_of(c) == type::integer) return integer_type::value_of(c);
  return 0;
}

// A series that keeps its values in a buffer (the only ones /part may count on).
bool buffer_series_q(const cell* v) {
  uint32_t t = type_of(v);
  return (is_any_block(t) || is_any_string(t) || is_buffer_type(t) || t == type::map) &&
         series::node_of(v) != 0;
}

// A series' index, clamped to its buffer's current length.
int32_t clamped_index(const cell* v) {
  const series_buffer* b = memory::buffer_of(series::node_of(v));
  uint32_t unit = b->unit() ? b->unit() : 1;
  uint64_t len = b->used_bytes() / unit;
  return static_cast<int32_t>(series::index_of(v) < len ? series::index_of(v) : len);
}

void invalid_part_arg(cell* value, cell* part) { kaz::series::bad_refine_arg(value, "part", part); }

// The /part argument of append and insert (and change): a count, or a series of the same
// buffer whose index difference is the count (-1 when absent).
int32_t part_count(cell* series, cell* part, bool change) {
  if (!part) return -1;
  bool buffered = buffer_series_q(series);
  if (!change && !buffered) fire(err::script_invalid_part, part);
  if (type_of(part) == type::integer) return integer_type::value_of(part);
  if (!buffered || type_of(part) != type_of(series) ||
      kaz::series::node_of(part) != kaz::series::node_of(series))
    invalid_part_arg(series, part);
  if (change)
    return static_cast<int32_t>(kaz::series::index_of(part)) -
           static_cast<int32_t>(kaz::series::index_of(series));
  return clamped_index(part) - clamped_index(series);
}

// A negative /part count moves the series' head back by as much (not below its start) and
// becomes the distance moved.
int32_t step_back(cell* series, int32_t part) {
  int32_t back = -part;
  if (back > static_cast<int32_t>(kaz::series::index_of(series)))
    back = static_cast<int32_t>(kaz::series::index_of(series));
  series->data1 -= static_cast<uint32_t>(back);
  return back;
}

flow insert_or_append(bool append, const int32_t* refs) {
  cell* series = arg(0);
  slot_fn::insert impl = append ? slot_of(series, slot::append, &action_row::append)
                                : slot_of(series, slot::insert, &action_row::insert);
  int32_t part = part_count(series, opt(refs, 0), false);
  if (part == 0) return result(series);
  if (part < 0 && opt(refs, 0)) {
    if (kaz::series::index_of(series) == 0) return result(series);
    part = step_back(series, part);
  }
  int32_t dup = 1;
  if (cell* d = opt(refs, 2)) {
    dup = count_of(d);
    if (dup < 1) return result(series);
  }
  return result(impl(series, arg(1), part, flag(refs, 1), dup, append));
}

}  // namespace

namespace entry {

flow make(const int32_t*) { return make_or_to(false); }
flow to(const int32_t*) { return make_or_to(true); }

flow random(const int32_t* refs) {
  KAZ_SLOT(arg(0), random);
  return result(f(arg(0), flag(refs, 0), flag(refs, 1), flag(refs, 2)));
}

flow reflect(const int32_t*) {
  KAZ_SLOT(arg(0), reflect);
  return result(f(arg(0), word::symbol_of(arg(1))));
}

// form and mold: an empty string for a /part limit below 1; otherwise the text written into a
// fresh buffer, cut to the limit (the implementations may write past it).
flow form_or_mold(const int32_t* refs, bool mold) {
  cell* part = opt(refs, mold ? 3 : 0);
  int32_t limit = 0x7FFFFFFF;
  if (part) {
    limit = count_of(part);
    if (limit <= 0) {
      cell s;
      string::make_at(&s, 1);
      stack::set_result_only(&s);
      return flow::normal;
    }
  }
  cell value = *arg(0);
  cell part_copy;
  if (part) part_copy = *part;
  bool only = mold && flag(refs, 0), all = mold && flag(refs, 1), flat = mold && flag(refs, 2);
  stack::keep_result_only();
  cell* buffer = stack::reserve_cell();
  string::make_at(buffer, 16);
  cell* part_arg = part ? &part_copy : nullptr;
  if (mold)
    actions::mold(&value, buffer, only, all, flat, part_arg, limit, 0);
  else
    actions::form(&value, buffer, part_arg, limit);
  if (part) {
    series_buffer* s = string::buffer_of(buffer);
    if (s->length() > static_cast<uint32_t>(limit)) s->tail = s->offset + limit * s->unit();
  }
  stack::set_result_only(buffer);
  return flow::normal;
}

flow form(const int32_t* refs) { return form_or_mold(refs, false); }
flow mold(const int32_t* refs) { return form_or_mold(refs, true); }

flow eval_path(const int32_t*) {
  KAZ_SLOT(arg(0), eval_path);
  cell* value = stack::top - stack::arguments > 2 ? arg(2) : nullptr;
  return result(f(arg(0), arg(1), value, nullptr, nullptr, nullptr, 0, false, false, true));
}

KAZ_STACK_SLOT(absolute)
KAZ_STACK_SLOT(add)
KAZ_STACK_SLOT(divide)
KAZ_STACK_SLOT(multiply)
KAZ_STACK_SLOT(power)
KAZ_STACK_SLOT(remainder)
KAZ_STACK_SLOT(subtract)
KAZ_STACK_SLOT(and_t)
KAZ_STACK_SLOT(or_t)
KAZ_STACK_SLOT(xor_t)
KAZ_STACK_SLOT(at)
KAZ_STACK_SLOT(back)
KAZ_STACK_SLOT(head)
KAZ_STACK_SLOT(head_q)
KAZ_STACK_SLOT(index_q)
KAZ_STACK_SLOT(next)
KAZ_STACK_SLOT(skip)
KAZ_STACK_SLOT(tail)
KAZ_STACK_SLOT(tail_q)
#undef KAZ_STACK_SLOT

flow negate(const int32_t*) {
  KAZ_SLOT(arg(0), negate);
  return result(f(arg(0)));
}

flow round(const int32_t* refs) {
  KAZ_SLOT(arg(0), round);
  return result(f(arg(0), opt(refs, 0), flag(refs, 1), flag(refs, 2), flag(refs, 3),
                  flag(refs, 4), flag(refs, 5), flag(refs, 6)));
}

flow even_q(const int32_t*) {
  KAZ_SLOT(arg(0), even_q);
  bool r = f(arg(0));
  cell v{type::logic, r ? 1u : 0u, 0, 0};
  return result(&v);
}

flow odd_q(const int32_t*) {
  KAZ_SLOT(arg(0), odd_q);
  bool r = f(arg(0));
  cell v{type::logic, r ? 1u : 0u, 0, 0};
  return result(&v);
}

flow complement(const int32_t*) {
  KAZ_SLOT(arg(0), complement);
  return result(f(arg(0)));
}

flow append(const int32_t* refs) { return insert_or_append(true, refs); }
flow insert(const int32_t* refs) { return insert_or_append(false, refs); }

flow change(const int32_t* refs) {
  cell* series = arg(0);
  KAZ_SLOT(series, change);
  int32_t part = part_count(series, opt(refs, 0), true);
  if (part < 0 && opt(refs, 0)) part = buffer_series_q(series) ? step_back(series, part) : 0;
  int32_t dup = 1;
  if (cell* d = opt(refs, 2)) {
    // change's count is a number!: a float or percent counts its whole part, as /part does.
    dup = type_of(d) == type::integer ? count_of(d) : kaz::series::to_int_arg(d);
    if (dup < 1) return result(series);
  }
  return result(f(series, arg(1), part, flag(refs, 1), dup));
}

flow clear(const int32_t*) {
  KAZ_SLOT(arg(0), clear);
  return result(f(arg(0)));
}

flow copy(const int32_t* refs) {
  KAZ_SLOT(arg(0), copy);
  if (refs[2] >= 0) {
    cell name;
    stack::get_call_name(&name);
    cell dt{type::datatype_, type_of(arg(0)), 0, 0};
    cell kind{type::word, 0, symbol::make("kind"), 0xFFFFFFFF};  // the refinement's argument word
    fire(err::script_expect_arg, &name, &dt, &kind);
  }
  cell value = *arg(0);
  cell* fresh = stack::reserve_cell();
  return result(f(&value, fresh, opt(refs, 0), flag(refs, 1), nullptr));
}

flow find(const int32_t* refs) {
  KAZ_SLOT(arg(0), find);
  return result(f(arg(0), arg(1), opt(refs, 0), flag(refs, 1), flag(refs, 2), flag(refs, 3),
                  flag(refs, 4), opt(refs, 5), opt(refs, 6), flag(refs, 7), flag(refs, 8),
                  flag(refs, 9), flag(refs, 10)));
}

flow length_q(const int32_t*) {
  KAZ_SLOT(arg(0), length_q);
  int32_t n = f(arg(0));
  cell v;
  if (n < 0) {
    v.header = type::none;
  } else {
    v = cell{type::integer, 0, static_cast<uint32_t>(n), 0};
  }
  return result(&v);
}

flow move(const int32_t* refs) {
  KAZ_SLOT(arg(0), move);
  return result(f(arg(0), arg(1), opt(refs, 0)));
}

// The index of pick and poke: integer! and char! give their value, true 1 and false 2.
int32_t index_argument(const cell* c) {
  switch (type_of(c)) {
    case type::integer:
    case type::char_:
      return static_cast<int32_t>(c->data2);
    case type::logic:
      return logic_type::value_of(c) ? 1 : 2;
    default:
      return 0;
  }
}

flow pick(const int32_t*) {
  // The commonest pick and poke, a block! at an integer position inside it, taken directly.
  if (const cell* v = fast_paths::block_pick(arg(0), arg(1))) return result(v);
  KAZ_SLOT(arg(0), pick);
  return result(f(arg(0), index_argument(arg(1)), arg(1)));
}

flow poke(const int32_t*) {
  if (cell* at = fast_paths::block_poke_slot(arg(0), arg(1))) {
    *at = *arg(2);
    return result(arg(2));
  }
  KAZ_SLOT(arg(0), poke);
  return result(f(arg(0), index_argument(arg(1)), arg(2), arg(1)));
}

flow put(const int32_t* refs) {
  KAZ_SLOT(arg(0), put);
  return result(f(arg(0), arg(1), arg(2), flag(refs, 0)));
}

flow remove(const int32_t* refs) {
  KAZ_SLOT(arg(0), remove);
  return result(f(arg(0), opt(refs, 0), opt(refs, 1)));
}

flow reverse(const int32_t* refs) {
  KAZ_SLOT(arg(0), reverse);
  return result(f(arg(0), opt(refs, 0), opt(refs, 1)));
}

flow select(const int32_t* refs) {
  KAZ_SLOT(arg(0), select);
  return result(f(arg(0), arg(1), opt(refs, 0), flag(refs, 1), flag(refs, 2), flag(refs, 3),
                  flag(refs, 4), opt(refs, 5), opt(refs, 6), flag(refs, 7), flag(refs, 8)));
}

flow sort(const int32_t* refs) {
  KAZ_SLOT(arg(0), sort);
  return result(f(arg(0), flag(refs, 0), opt(refs, 1), opt(refs, 2), opt(refs, 3),
                  flag(refs, 4), flag(refs, 5), flag(refs, 6)));
}

flow swap(const int32_t*) {
  KAZ_SLOT(arg(0), swap);
  return result(f(arg(0), arg(1)));
}

flow take(const int32_t* refs) {
  KAZ_SLOT(arg(0), take);
  return result(f(arg(0), opt(refs, 0), flag(refs, 1), flag(refs, 2)));
}

flow trim(const int32_t* refs) {
  KAZ_SLOT(arg(0), trim);
  return result(f(arg(0), flag(refs, 0), flag(refs, 1), flag(refs, 2), flag(refs, 3),
                  flag(refs, 4), opt(refs, 5)));
}

#define KAZ_UNARY_ACTION(name)        \
  flow name(const int32_t*) {         \
    KAZ_SLOT(arg(0), name);           \
    return result(f(arg(0)));         \
  }
KAZ_UNARY_ACTION(create)
KAZ_UNARY_ACTION(close)
KAZ_UNARY_ACTION(delete_)
KAZ_UNARY_ACTION(open_q)
KAZ_UNARY_ACTION(query)
KAZ_UNARY_ACTION(update)
#undef KAZ_UNARY_ACTION

flow modify(const int32_t* refs) {
  KAZ_SLOT(arg(0), modify);
  return result(f(arg(0), arg(1), arg(2), flag(refs, 0)));
}

flow open(const int32_t* refs) {
  KAZ_SLOT(arg(0), open);
  return result(f(arg(0), flag(refs, 0), flag(refs, 1), flag(refs, 2), flag(refs, 3),
                  opt(refs, 4)));
}

flow read(const int32_t* refs) {
  KAZ_SLOT(arg(0), read);
  return result(f(arg(0), opt(refs, 0), opt(refs, 1), flag(refs, 2), flag(refs, 3),
                  flag(refs, 4), opt(refs, 5)));
}

flow rename(const int32_t*) {
  KAZ_SLOT(arg(0), rename);
  return result(f(arg(0), arg(1)));
}

flow write(const int32_t* refs) {
  KAZ_SLOT(arg(0), write);
  return result(f(arg(0), arg(1), flag(refs, 0), flag(refs, 1), flag(refs, 2), flag(refs, 3),
                  opt(refs, 4), opt(refs, 5), opt(refs, 6), opt(refs, 7)));
}

// compare has no language word; its table entry compares the first two arguments (op equal).
flow compare_entry(const int32_t*) {
  bool r = actions::compare(arg(0), arg(1), op::equal);
  cell v{type::logic, r ? 1u : 0u, 0, 0};
  return result(&v);
}

#undef KAZ_SLOT

}  // namespace entry

namespace {

// Actions 25 to 62 on a port whose actor is an object go to the actor's functions.
template <uint32_t S, native_entry E>
flow port_aware(const int32_t* refs) {
  if (type_of(stack::arguments) == type::port && !port_type::actor_table(stack::arguments))
    return port_type::forward(S, refs);
  return E(refs);
}

}  // namespace

void init_table() {
  using namespace entry;
  // Actions 25 on (series and I/O) may be carried out by a port's actor.
#define KAZ_P(n, e) port_aware<n, e>
  native_entry table[slot::count] = {
      make,     random,  reflect,  to,     form,    mold,    eval_path,  nullptr,
      compare_entry, absolute, add, divide, multiply, negate, power, remainder,
      round,    subtract, even_q,  odd_q,  and_t,   complement, or_t,    xor_t,
      KAZ_P(25, append), KAZ_P(26, at),     KAZ_P(27, back),    KAZ_P(28, change),
      KAZ_P(29, clear),  KAZ_P(30, copy),   KAZ_P(31, find),    KAZ_P(32, head),
      KAZ_P(33, head_q), KAZ_P(34, index_q), KAZ_P(35, insert), KAZ_P(36, length_q),
      KAZ_P(37, move),   KAZ_P(38, next),   KAZ_P(39, pick),    KAZ_P(40, poke),
      KAZ_P(41, put),    KAZ_P(42, remove), KAZ_P(43, reverse), KAZ_P(44, select),
      KAZ_P(45, sort),   KAZ_P(46, skip),   KAZ_P(47, swap),    KAZ_P(48, tail),
      KAZ_P(49, tail_q), KAZ_P(50, take),   KAZ_P(51, trim),    KAZ_P(52, create),
      KAZ_P(53, close),  KAZ_P(54, delete_), KAZ_P(55, modify), KAZ_P(56, open),
      KAZ_P(57, open_q), KAZ_P(58, query),  KAZ_P(59, read),    KAZ_P(60, rename),
      KAZ_P(61, update), KAZ_P(62, write)};
#undef KAZ_P
  for (uint32_t i = 0; i < slot::count; ++i) function::register_action(i + 1, table[i]);
}

}  // namespace kaz::actions

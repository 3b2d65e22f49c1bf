// bitset!: specs of characters, integers, strings and ranges; set operations; the actions.
#include "datatypes/bitset.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/ownership.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/integer.h"
#include "datatypes/scalar_support.h"
#include "datatypes/scalar_types.h"
#include "datatypes/simple_types.h"
#include "memory/cycle_guard.h"

namespace kaz::bitset_type {

namespace {

using namespace scalar;

// The largest index a bitset holds: its length in bits (bytes x 8) must stay an integer!.
constexpr int64_t max_index = 2147483647 - 8;

series_buffer* buffer(const cell* b) { return memory::buffer_of(node_of(b)); }

uint8_t fill_byte(bool complement) { return complement ? 0xFF : 0x00; }

// Grows the stored bytes to `bytes`, new bytes taking the fill of the flag.
void grow_to(const cell* b, uint32_t bytes) {
  series_buffer* s = buffer(b);
  uint32_t have = s->used_bytes();
  if (bytes <= have) return;
  uint8_t fill = fill_byte(s->flags & series_flag::complement);
  s = memory::reserve_tail(s, bytes - have);
  std::memset(s->tail_rw() - (bytes - have), fill, bytes - have);
}

// ---------------------------------------------------------------------------------------------
// Spec processing

enum class walk : uint8_t { measure, set, test, clear };
enum class caller : uint8_t { make, to, action };  // says which error an unusable value raises

bool dash_word(const cell* v) {
  static uint32_t dash = 0;
  if (!dash) dash = symbol::make("-");
  return is_word(v) && word::symbol_of(v) == dash;
}

/*
 * One walk over a spec: measuring finds the highest index named; setting, clearing and
 * testing touch the stored bytes (grown beforehand where the operation needs it). Nothing
 * allocates during a walk, so the byte pointer stays valid throughout.
 */
struct walker {
  walk mode;
  caller from;
  const uint8_t* bits = nullptr;  // read by test
  uint8_t* bits_rw = nullptr;     // written by set and clear
  uint32_t size = 0;
  bool complement = false;
  int64_t highest = -1;

  walker(walk m, caller c, const cell* b) : mode(m), from(c) {
    if (!b) return;
    series_buffer* s = buffer(b);
    if (m == walk::test) bits = s->head();
    else bits_rw = s->head_rw();
    size = s->used_bytes();
    complement = s->flags & series_flag::complement;
  }

  [[noreturn]] void unusable(const cell* v) {
    if (from == caller::make) fire_bad_make(type::bitset, v);
    if (from == caller::to) fire_bad_to(type::bitset, v);
    cell c = *v;
    fire(err::script_invalid_arg, &c);
  }

  [[noreturn]] static void out_of_range(int64_t i) {
    cell c{type::integer, 0, static_cast<uint32_t>(static_cast<int32_t>(i)), 0};
    fire(err::script_out_of_range, &c);
  }

  bool one(int64_t i) {
    if (i < 0) {
      if (mode == walk::test) return complement;
      out_of_range(i);
    }
    if (i > max_index) {
      if (mode == walk::test) return complement;
      out_of_range(i);
    }
    uint64_t byte = static_cast<uint64_t>(i) >> 3;
    uint8_t mask = static_cast<uint8_t>(0x80u >> (i & 7));
    switch (mode) {
      case walk::measure: highest = std::max(highest, i); return true;
      case walk::test: return byte < size ? (bits[byte] & mask) != 0 : complement;
      case walk::set: if (byte < size) bits_rw[byte] |= mask; return true;
      case walk::clear: if (byte < size) bits_rw[byte] &= static_cast<uint8_t>(~mask); return true;
    }
    return true;
  }

  bool range(int64_t lo, int64_t hi) {
    if (mode == walk::measure) {
      one(lo);
      return one(hi);
    }
    if (mode == walk::test) {
      // Past the stored bytes (and below 0) every index tests as the complement flag: test
      // that part once instead of walking up to two billion indexes one by one.
      int64_t stored_hi = int64_t(size) * 8 - 1;
      if ((lo < 0 || hi > stored_hi) && !complement) return false;
      int64_t a = std::max<int64_t>(lo, 0), b = std::min<int64_t>(hi, stored_hi);
      for (int64_t i = a; i <= b; ++i)
        if (!one(i)) return false;
      return true;
    }
    one(lo);
    one(hi);  // the errors of the ends first
    // Whole bytes at once in the middle.
    int64_t i = lo;
    for (; i <= hi && (i & 7) != 0; ++i) one(i);
    uint64_t first = static_cast<uint64_t>(i) >> 3;
    uint64_t last = (static_cast<uint64_t>(hi) + 1) >> 3;  // bytes fully inside [i, hi]
    if (last > first) {
      uint64_t end = std::min<uint64_t>(last, size);
      if (first < end) std::memset(bits_rw + first, mode == walk::set ? 0xFF : 0x00, end - first);
      i = static_cast<int64_t>(last << 3);
    }
    for (; i <= hi; ++i) one(i);
    return true;
  }

  bool value(const cell* v, bool in_block) {
    switch (type_of(v)) {
      case type::char_:
        return one(char_type::code_of(v));
      case type::integer:
        return one(integer_type::value_of(v));
      case type::float_: {
        if (!in_block) unusable(v);
        double d = std::trunc(get_double(v));
        if (!(d >= 0 && d <= static_cast<double>(max_index))) {
          // Out of range (or NaN): the error names the float as given, not a 32-bit
          // truncation of it.
          if (mode == walk::test) return complement;
          cell c = *v;
          fire(err::script_out_of_range, &c);
        }
        return one(static_cast<int64_t>(d));
      }
      case type::string: {
        cell s = *v;
        uint32_t n = string::length_from_head(&s);
        for (uint32_t k = 0; k < n; ++k)
          if (!one(string::char_at_absolute(&s, series::index_of(&s) + k)) && mode == walk::test) return false;
        return true;
      }
      case type::block:
        return block(v);
      case type::binary:
        if (in_block) fire(err::internal_not_done);
        unusable(v);
      default:
        unusable(v);
    }
  }

  // Each value in turn; `a - b` is the inclusive range of two chars or two integers.
  bool block(const cell* b, int32_t skip = 0) {
    cell blk = *b;
    // A block inside itself would recurse without end; nesting is bounded by the guard too.
    cycle_guard guard(series::node_of(&blk));
    if (!guard.entered()) fire(err::internal_no_cycle);
    int32_t n = block::rs_length(&blk);
    const cell* p = block::rs_head(&blk);
    bool all = true;
    for (int32_t i = skip; i < n; ++i) {
      const cell* v = p + i;
      bool r;
      uint32_t t = type_of(v);
      if (i + 1 < n && dash_word(v + 1) && (t == type::char_ || t == type::integer)) {
        if (i + 2 >= n) fire(err::script_past_end);
        const cell* w = v + 2;
        if (type_of(w) != t) {
          cell c = *w;
          fire(err::script_invalid_arg, &c);
        }
        int64_t lo = t == type::char_ ? int64_t(char_type::code_of(v)) : int64_t(integer_type::value_of(v));
        int64_t hi = t == type::char_ ? int64_t(char_type::code_of(w)) : int64_t(integer_type::value_of(w));
        if (hi < lo) fire(err::script_past_end);
        r = range(lo, hi);
        i += 2;
      } else {
        r = value(v, true);
      }
      if (!r && mode == walk::test) return false;
      all = all && r;
    }
    return all;
  }

  bool run(const cell* spec, int32_t skip) {
    return skip ? block(spec, skip) : value(spec, false);
  }
};

// The byte count a spec needs: its highest index / 8 + 1, at least 1.
uint32_t measure(const cell* spec, caller from, int32_t skip = 0) {
  walker w(walk::measure, from, nullptr);
  w.run(spec, skip);
  return static_cast<uint32_t>(std::max<int64_t>(w.highest, 0) / 8 + 1);
}

/*
 * Sets (or clears) the values of a spec in a bitset. The bytes grow first when the operation
 * changes something beyond them: setting in a plain set, clearing in a complemented one.
 */
void apply(cell* b, const cell* spec, bool set, caller from, int32_t skip = 0) {
  bool grows = set != complemented(b);
  if (grows) grow_to(b, measure(spec, from, skip));
  walker w(set ? walk::set : walk::clear, from, b);
  w.run(spec, skip);
}

bool test(const cell* b, const cell* spec) {
  walker w(walk::test, caller::action, b);
  return w.run(spec, 0);
}

// ---------------------------------------------------------------------------------------------
// make and to

// A bitset of a byte range copied from a series (the bytes are re-read after the allocation),
// inverted or not, complemented or not.
void from_bytes(cell* out, node_t source, uint32_t index, bool invert, bool complement) {
  series_buffer* s = memory::buffer_of(source);
  uint32_t used = s->used_bytes();
  uint32_t n = index < used ? used - index : 0;
  make_empty(out, n, 0, complement);
  const uint8_t* from = memory::buffer_of(source)->head() + index;
  uint8_t* to = buffer(out)->head_rw();
  for (uint32_t i = 0; i < n; ++i) to[i] = invert ? static_cast<uint8_t>(~from[i]) : from[i];
}

void make_from(cell* out, cell* spec, caller from) {
  cell s = *spec;
  switch (type_of(&s)) {
    case type::integer:
    case type::float_: {
      if (from == caller::to) fire_bad_to(type::bitset, &s);
      double bits = type_of(&s) == type::integer ? integer_type::value_of(&s) : get_double(&s);
      if (!(bits >= 0 && bits <= static_cast<double>(max_index) + 1)) fire(err::script_out_of_range, &s);
      // n bits round up to whole bytes.
      make_empty(out, static_cast<uint32_t>((static_cast<uint64_t>(bits) + 7) / 8), 0, false);
      return;
    }
    case type::bitset: {
      from_bytes(out, node_of(&s), 0, false, complemented(&s));
      return;
    }
    case type::binary:
      from_bytes(out, series::node_of(&s), series::index_of(&s), false, false);
      return;
    case type::block: {
      int32_t n = block::rs_length(&s);
      const cell* head = block::rs_head(&s);
      static uint32_t not_symbol = 0;
      if (!not_symbol) not_symbol = symbol::resolve(symbol::make("not"));
      if (n > 0 && is_word(head) && symbol::resolve(word::symbol_of(head)) == not_symbol) {
        if (n > 1 && type_of(head + 1) == type::binary) {
          from_bytes(out, series::node_of(&head[1]), series::index_of(&head[1]), true, true);
          return;
        }
        make_empty(out, measure(&s, from, 1), 0xFF, true);
        walker w(walk::clear, from, out);
        w.run(&s, 1);
        return;
      }
      if (n > 0 && type_of(head) == type::binary) {
        from_bytes(out, series::node_of(head), series::index_of(head), false, false);
        return;
      }
      break;
    }
    case type::char_:
    case type::string:
      break;
    default:
      if (from == caller::make) fire_bad_make(type::bitset, &s);
      fire_bad_to(type::bitset, &s);
  }
  make_empty(out, measure(&s, from), 0, false);
  walker w(walk::set, from, out);
  w.run(&s, 0);
}

cell* make(cell* proto, cell* spec, uint32_t) {
  cell out;
  make_from(&out, spec, caller::make);
  *proto = out;
  return proto;
}

cell* to(cell* proto, cell* spec, uint32_t) {
  cell out;
  make_from(&out, spec, caller::to);
  *proto = out;
  return proto;
}

// ---------------------------------------------------------------------------------------------
// Text and comparison

/*
 * make bitset! #{0F00} or, complemented, make bitset! [not #{F0FF}] with the stored bytes
 * inverted, so that the text makes the same set. A limit stops the bytes once it is used up.
 */
int32_t mold(cell* v, cell* out_cell, bool, bool, bool, cell*, int32_t limit, int32_t) {
  cell b = *v;
  node_t out = series::node_of(out_cell);
  bool comp = complemented(&b);
  const char* prefix = comp ? "make bitset! [not #{" : "make bitset! #{";
  string::append_ascii(out, prefix);
  limit -= static_cast<int32_t>(std::strlen(prefix));
  uint32_t n = byte_count(&b);
  static const char hex[] = "0123456789ABCDEF";
  char chunk[128];
  for (uint32_t i = 0; i < n && limit > 0;) {
    uint32_t k = 0;
    const uint8_t* bytes = buffer(&b)->head();  // re-read after each append
    for (; i < n && k < sizeof chunk && limit > 0; ++i, k += 2, limit -= 2) {
      uint8_t x = comp ? static_cast<uint8_t>(~bytes[i]) : bytes[i];
      chunk[k] = hex[x >> 4];
      chunk[k + 1] = hex[x & 15];
    }
    string::append_ascii(out, std::string_view(chunk, k));
  }
  string::append_ascii(out, comp ? "}]" : "}");
  return limit - (comp ? 2 : 1);
}

int32_t form(cell* v, cell* buffer_cell, cell* part, int32_t limit) {
  return mold(v, buffer_cell, false, false, false, part, limit, 0);
}

int32_t compare(cell* a, cell* b, int32_t op) {
  if (type_of(b) != type::bitset) return -2;
  if (op == actions::op::same) return node_of(a) == node_of(b) ? 0 : 1;
  uint32_t la = byte_count(a), lb = byte_count(b);
  if (la != lb) return la < lb ? -1 : 1;
  bool fa = complemented(a), fb = complemented(b);
  if (fa != fb) return fa ? 1 : -1;
  const uint8_t* x = buffer(a)->head();
  const uint8_t* y = buffer(b)->head();
  for (uint32_t i = la; i-- > 0;)
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Actions

cell* complement(cell* v) {
  cell src = *v;
  cell out;
  from_bytes(&out, node_of(&src), 0, true, !complemented(&src));
  *v = out;
  return v;
}

// Tells an object that owns the bits of a change, before (the action's word) and after it (its
// past form); the handler may run any code, so callers re-read the bits afterwards.
void notify(cell* b, const char* action, cell* value) {
  if (!(buffer(b)->flags & series_flag::owned)) return;
  cell target = *b;
  cell word = word_cell(action);
  ownership::check(&target, &word, value, 0, 0);
}

void and_t() { set_operation(set_op::and_); }
void or_t() { set_operation(set_op::or_); }
void xor_t() { set_operation(set_op::xor_); }

cell* insert(cell* b, cell* value, int32_t, bool, int32_t, bool append) {
  notify(b, append ? "append" : "insert", value);
  apply(b, value, true, caller::action);
  notify(b, append ? "appended" : "inserted", value);
  return b;
}

// none, false, 0 and 0.0 clear; any other value sets.
cell* poke(cell* b, int32_t, cell* value, cell* boxed) {
  uint32_t t = type_of(value);
  bool off = t == type::none || (t == type::logic && logic_type::value_of(value) == 0) ||
             (t == type::integer && integer_type::value_of(value) == 0) ||
             (t == type::float_ && get_double(value) == 0.0);
  notify(b, "poke", value);
  apply(b, boxed, !off, caller::action);
  notify(b, "poked", value);
  return value;
}

const cell* pick(cell* b, int32_t, cell* boxed) {
  bool r = test(b, boxed);
  *b = cell{type::logic, r ? 1u : 0u, 0, 0};
  return b;
}

cell path_result;  // the membership a path reads (copied by the caller at once)

const cell* eval_path(cell* parent, cell* element, cell* value, cell*, cell*, cell*, int32_t, bool,
                bool, bool) {
  if (type_of(element) != type::integer && type_of(element) != type::char_)
    fire_invalid_type(element);
  if (value) poke(parent, 0, value, element);
  path_result = cell{type::logic, test(parent, element) ? 1u : 0u, 0, 0};
  return value ? value : &path_result;
}

cell* find(cell* b, cell* value, cell*, bool, bool, bool, bool, cell*, cell*, bool, bool, bool,
           bool) {
  if (test(b, value)) *b = cell{type::logic, 1, 0, 0};
  else *b = cell{type::none, 0, 0, 0};
  return b;
}

// The values of the part leave the set, whether it is complemented or not.
cell* remove(cell* b, cell* part, cell*) {
  if (!part) fire(err::script_missing_arg);
  apply(b, part, false, caller::action);
  return b;
}

// An empty set of the same length: no stored member, and none beyond.
cell* clear(cell* b) {
  series_buffer* s = buffer(b);
  std::memset(s->head_rw(), 0, s->used_bytes());
  s->flags &= ~series_flag::complement;
  return b;
}

cell* copy(cell* v, cell* result, cell*, bool, cell*) {
  make_from(result, v, caller::action);
  return result;
}

int32_t length_q(cell* b) { return static_cast<int32_t>(byte_count(b) * 8); }

bool owned_field(uint32_t symbol_id) {
  static uint32_t owned = 0;
  if (!owned) owned = symbol::resolve(symbol::make("owned"));
  return symbol::resolve(symbol_id) == owned;
}

// reflect/owned: the object that owns the bits, or none.
cell* reflect(cell* v, uint32_t field) {
  if (!owned_field(field)) fire(err::internal_not_done);
  const cell* owner = ownership::find_owner(node_of(v));
  *v = owner ? *owner : cell{type::none, 0, 0, 0};
  return v;
}

// modify/owned: none takes the ownership away, [owner word] gives it; other values change
// nothing.
cell* modify(cell* b, cell* field, cell* value, bool) {
  if (!is_word(field) || !owned_field(word::symbol_of(field))) return value;
  if (type_of(value) == type::none) {
    ownership::unbind(b);
  } else if (type_of(value) == type::block && block::rs_length(value) >= 2) {
    cell owner = block::rs_head(value)[0];
    cell word = block::rs_head(value)[1];
    if (type_of(&owner) == type::object && is_word(&word)) ownership::set_owner(b, &owner, &word);
  }
  return value;
}

}  // namespace

bool complemented(const cell* b) { return buffer(b)->flags & series_flag::complement; }

uint32_t byte_count(const cell* b) { return buffer(b)->used_bytes(); }

bool member(const cell* b, int64_t index) {
  walker w(walk::test, caller::action, b);
  return w.one(index);
}

void make_empty(cell* out, uint32_t bytes, uint8_t fill, bool complement) {
  node_t node = memory::alloc_bytes(bytes);
  series_buffer* s = memory::buffer_of(node);
  std::memset(s->head_rw(), fill, bytes);
  s->tail = s->offset + bytes;
  if (complement) s->flags |= series_flag::complement;
  *out = cell{type::bitset, 0, node, 0};
}

/*
 * Byte-wise set operations. Beyond its stored bytes each operand contributes its fill (0x00,
 * or 0xFF when complemented), and the result's flag is the operation applied to the two flags,
 * so a complemented operand keeps its meaning. On plain sets this gives the stored lengths
 * of the longer operand, except and~, which stops at the shorter one.
 */
void set_operation(set_op op) {
  cell a = stack::arguments[0];
  cell b = stack::arguments[1];
  if (type_of(&a) != type::bitset) fire_invalid_type(&a);
  if (op == set_op::unique) return;
  if (type_of(&b) != type::bitset) fire_invalid_type(&b);
  auto combine = [op](uint8_t x, uint8_t y) -> uint8_t {
    switch (op) {
      case set_op::or_: return x | y;
      case set_op::and_:
      case set_op::intersect: return x & y;
      case set_op::xor_: return x ^ y;
      default: return x & static_cast<uint8_t>(~y);
    }
  };
  bool fa = complemented(&a), fb = complemented(&b);
  uint32_t la = byte_count(&a), lb = byte_count(&b);
  uint32_t n = std::max(la, lb);
  if (op == set_op::and_ && !(la < lb ? fa : fb)) n = std::min(la, lb);
  bool flag = combine(fill_byte(fa), fill_byte(fb)) != 0;
  cell out;
  make_empty(&out, n, 0, flag);
  const uint8_t* x = buffer(&a)->head();
  const uint8_t* y = buffer(&b)->head();
  uint8_t* r = buffer(&out)->head_rw();
  for (uint32_t i = 0; i < n; ++i)
    r[i] = combine(i < la ? x[i] : fill_byte(fa), i < lb ? y[i] : fill_byte(fb));
  stack::set_result_only(&out);
}

void init() {
  registry::add(type::bitset, {.make = make,
                               .reflect = reflect,
                               .to = to,
                               .form = form,
                               .mold = mold,
                               .eval_path = eval_path,
                               .compare = compare,
                               .negate = complement,
                               .and_t = and_t,
                               .complement = complement,
                               .or_t = or_t,
                               .xor_t = xor_t,
                               .append = insert,
                               .clear = clear,
                               .copy = copy,
                               .find = find,
                               .insert = insert,
                               .length_q = length_q,
                               .pick = pick,
                               .poke = poke,
                               .remove = remove,
                               .modify = modify});
}

}  // namespace kaz::bitset_type

// map!: making, key normalisation, path access, find/select/put/remove, reflection, form and
// mold, comparison and copy.
#include "datatypes/map.h"

#include <optional>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/context.h"
#include "core/registry.h"
#include "core/series_cell.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/typeset.h"
#include "datatypes/integer.h"
#include "datatypes/series_types.h"
#include "datatypes/simple_types.h"
#include "memory/cycle_guard.h"
#include "memory/cycle_stack.h"
#include "memory/hashtable.h"
#include "runtime/fire.h"

namespace kaz::map {

namespace {

// Lookup codes of the hashtable (the comparison operations).
constexpr int32_t by_equal = 0;
constexpr int32_t by_strict = 2;
constexpr int32_t by_same = 9;

cell none_result{type::none, 0, 0, 0};

cell map_datatype() { return cell{type::datatype_, type::map, 0, 0}; }

series_buffer* entries(const cell* m) { return memory::buffer_of(entries_of(m)); }
const cell* entry_cell(const cell* m, uint32_t position) { return entries(m)->cells() + position; }
cell* entry_cell_rw(const cell* m, uint32_t position) { return entries(m)->cells_rw() + position; }
uint32_t cell_count(const cell* m) { return entries(m)->length(); }
bool live_at(const cell* m, uint32_t key_position) {
  return entry_cell(m, key_position + 1)->header != 0;
}

// A key as it leaves the map as a value: set-words become words.
void as_word_key(cell* key) {
  if (type_of(key) == type::set_word) set_type(key, type::word);
}

int32_t to_int_arg(const cell* n) {
  if (type_of(n) == type::integer) return integer_type::value_of(n);
  double d = get_double(n);
  if (!(d > -2147483649.0 && d < 2147483648.0)) fire(err::script_out_of_range, n);
  return static_cast<int32_t>(d);
}

int32_t lookup(const cell* m, const cell* key, bool case_, bool same = false) {
  return hashtable::find(table_of(m), key, 0, 1,
                         same ? by_same : case_ ? by_strict : by_equal);
}

/*
 * Puts a value under a key (the path names the key in errors). An absent key is normalised
 * first, so that a bad key changes nothing, then appended with its value; a removed key gets
 * its pair back in place.
 */
void put_value(cell* m, const cell* key, const cell* value, bool case_, const cell* path) {
  cell v = *value;
  int32_t at = lookup(m, key, case_);
  if (at < 0) {
    cell k = *key;
    clear_new_line(&k);
    normalize_key(&k, path ? path : key);
    series_buffer* s = memory::reserve_tail(entries(m), 2 * sizeof(cell));
    auto position = static_cast<uint32_t>(s->length() - 2);
    cell* pair = s->cells_rw() + position;
    pair[0] = k;
    pair[1] = cell{type::unset, 0, 0, 0};
    uint32_t kept = hashtable::put_value(table_of(m), position);
    if (kept != position) entries(m)->tail -= 2 * sizeof(cell);  // a removed pair revived
    at = static_cast<int32_t>(kept);
  }
  *entry_cell_rw(m, static_cast<uint32_t>(at) + 1) = v;
}

// ---------------------------------------------------------------------------------------------
// make and to.

cell* make_map(cell* proto, cell* spec, int32_t t) {
  cell s = *spec;
  uint32_t st = type_of(&s);
  cell dt = map_datatype();
  if (st == type::integer || st == type::float_) {
    if (t < 0) fire(err::script_bad_to_arg, &dt, &s);
    int32_t n = to_int_arg(&s);
    if (n < 0) fire(err::script_out_of_range, &s);
    uint64_t size = n == 0 ? 2 : 2 * uint64_t(n);
    if (size * sizeof(cell) >= memory::max_series_bytes) fire(err::internal_no_memory);
    return init_cell(proto, nullptr, static_cast<uint32_t>(size));
  }
  if (st == type::block || st == type::paren || st == type::hash) {
    int32_t n = block::rs_length(&s);
    if (n < 0) n = 0;
    if (n % 2 != 0) fire(err::script_invalid_arg, &s);
    return init_cell(proto, &s, 0);
  }
  if (st == type::map) {
    slot_fn::copy copy = registry::row(type::map).copy;
    return copy(&s, proto, nullptr, false, nullptr);
  }
  fire(err::script_bad_to_arg, &dt, &s);
}

cell* make(cell* proto, cell* spec, uint32_t) { return make_map(proto, spec, 0); }
cell* to(cell* proto, cell* spec, uint32_t) { return make_map(proto, spec, -1); }

// ---------------------------------------------------------------------------------------------
// reflect.

cell* reflect(cell* m, uint32_t field) {
  cell map = *m;
  uint32_t f = symbol::resolve(field);
  enum { words, values, body } what;
  if (f == symbol::resolve(symbol::make("words"))) what = words;
  else if (f == symbol::resolve(symbol::make("values"))) what = values;
  else if (f == symbol::resolve(symbol::make("body"))) what = body;
  else fire(err::internal_not_done);
  uint32_t live = entry_count(&map);
  uint32_t capacity = live == 0 ? 1 : what == body ? 2 * live : live;
  cell out;
  block::init_cell(&out, capacity);
  cell* held = stack::push(&out);
  uint32_t n = cell_count(&map);
  for (uint32_t i = 0; i + 1 < n; i += 2) {
    if (!live_at(&map, i)) continue;
    cell key = *entry_cell(&map, i);
    cell value = *entry_cell(&map, i + 1);
    if (what == words) {
      as_word_key(&key);
      clear_new_line(&key);
      block::append_copy(held, &key);
    } else if (what == values) {
      block::append_copy(held, &value);
    } else {
      key.header |= new_line_flag;
      block::append_copy(held, &key);
      block::append_copy(held, &value);
    }
  }
  *m = *held;
  stack::top = held;
  return m;
}

// ---------------------------------------------------------------------------------------------
// form and mold.

void indent_by(node_t out, int32_t level, int32_t* limit) {
  for (int32_t k = 0; k < level; ++k) string::append_ascii(out, "    ");
  *limit -= 4 * level;
}

/*
 * The pairs as text. `indent` puts each pair on a line of its own at `level` (the separator
 * then follows every pair); otherwise the separator (a space when flat, else a line feed) goes
 * between pairs only. `leading_line` starts with a line feed (mold).
 */
int32_t mold_entries(const cell* m, cell* buffer, bool all, bool flat, cell* part,
                     int32_t limit, bool indent, int32_t level, bool leading_line) {
  cell map = *m;
  if (entry_count(&map) == 0) return limit;
  node_t out = series::node_of(buffer);
  const char* separator = "\n";
  if (flat) {
    separator = " ";
    indent = false;
  } else if (leading_line) {
    string::append_ascii(out, "\n");
    --limit;
  }
  cycle_guard guard(entries_of(&map));
  uint32_t n = cell_count(&map);
  uint32_t last = 0;  // past the last live pair
  for (uint32_t i = 0; i + 1 < n; i += 2)
    if (live_at(&map, i)) last = i + 2;
  for (uint32_t i = 0; i + 1 < n && i < last; i += 2) {
    if (!live_at(&map, i)) continue;
    cell key = *entry_cell(&map, i);
    cell value = *entry_cell(&map, i + 1);
    if (indent) indent_by(out, level, &limit);
    limit = actions::mold(&key, buffer, false, all, flat, part, limit, level);
    string::append_ascii(out, " ");
    limit = actions::mold(&value, buffer, false, all, flat, part, limit - 1, level);
    if (indent || i + 2 < last) {
      string::append_ascii(out, separator);
      --limit;
    }
    if (part && limit < 1) break;
    // Molding may have grown or shortened the pairs (it runs no code, but stay safe).
    n = cell_count(&map);
    if (last > n) last = n;
  }
  return limit;
}

int32_t form(cell* m, cell* buffer, cell* part, int32_t limit) {
  if (cycle_stack::emit_marker(m, series::node_of(buffer), &limit, false)) return limit;
  return mold_entries(m, buffer, false, false, part, limit, false, 0, false);
}

int32_t mold(cell* m, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit,
             int32_t indent) {
  if (cycle_stack::emit_marker(m, series::node_of(buffer), &limit, true)) return limit;
  node_t out = series::node_of(buffer);
  if (only) return mold_entries(m, buffer, all, flat, part, limit, false, indent, false);
  string::append_ascii(out, "#[");
  limit -= 2;
  int32_t before = limit;
  limit = mold_entries(m, buffer, all, flat, part, limit, true, indent + 1, true);
  if (limit != before && indent >= 1 && !flat) indent_by(out, indent, &limit);
  string::append_ascii(out, "]");
  return limit - 1;
}

// ---------------------------------------------------------------------------------------------
// Path access and the keyed actions.

const cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t,
                bool case_, bool, bool) {
  if (!value) {
    int32_t at = lookup(parent, element, case_);
    if (at < 0) return &none_result;
    return entry_cell(parent, static_cast<uint32_t>(at) + 1);
  }
  put_value(parent, element, value, case_, path);
  return value;
}

cell* find(cell* m, cell* key, cell*, bool, bool case_, bool same, bool, cell*, cell*, bool,
           bool, bool, bool) {
  int32_t at = lookup(m, key, case_, same);
  if (at < 0) {
    m->header = type::none;
    return m;
  }
  cell k = *entry_cell(m, static_cast<uint32_t>(at));
  as_word_key(&k);
  clear_new_line(&k);
  *m = k;
  return m;
}

cell* select(cell* m, cell* key, cell*, bool, bool case_, bool same, bool, cell*, cell*, bool,
             bool) {
  int32_t at = lookup(m, key, case_, same);
  if (at < 0) {
    m->header = type::none;
    return m;
  }
  *m = *entry_cell(m, static_cast<uint32_t>(at) + 1);
  return m;
}

cell* put(cell* m, cell* key, cell* value, bool case_) {
  put_value(m, key, value, case_, nullptr);
  return value;
}

cell* remove(cell* m, cell*, cell* key) {
  if (!key) fire(err::script_missing_arg);
  int32_t at = lookup(m, key, true);
  if (at >= 0) hashtable::remove_value(table_of(m), static_cast<uint32_t>(at));
  return m;
}

cell* clear(cell* m) {
  hashtable::clear(table_of(m));
  return m;
}

int32_t length_q(cell* m) { return static_cast<int32_t>(entry_count(m)); }

// ---------------------------------------------------------------------------------------------
// copy and compare.

bool type_in(const cell* types, uint32_t t) {
  if (type_of(types) == type::datatype_) return datatype_type::id_of(types) == t;
  return typeset::has(types, t);
}

// Replaces every value (not key) of the pairs whose type is among `types` by its copy.
void copy_values_of_types(cell* pairs, bool deep, const cell* types) {
  uint32_t n = memory::buffer_of(series::node_of(pairs))->length();
  for (uint32_t i = 1; i < n; i += 2) {
    cell v = *block::rs_abs_at(pairs, i);
    uint32_t t = type_of(&v);
    if (!type_in(types, t)) continue;
    slot_fn::copy f = registry::row(t).copy;
    if (!f) continue;
    cell* source = stack::push(&v);
    cell* out = stack::reserve_cell();
    cell* r = f(source, out, nullptr, deep, deep ? const_cast<cell*>(types) : nullptr);
    *block::rs_abs_at_rw(pairs, i) = *r;
    stack::top = source;
  }
}

/*
 * A copy holds the live pairs only (removed ones are left behind) over a table of its own. With
 * deep, nested series are copied too; with /types, only those of the given types among the
 * values.
 */
cell* copy(cell* m, cell* result, cell*, bool deep, cell* types) {
  cell map = *m;
  std::optional<cycle_guard> guard;
  if (deep && types) {
    if (cycle_guard::contains(entries_of(&map))) {
      cycle_stack::reset();
      fire(err::internal_no_cycle);
    }
    guard.emplace(entries_of(&map));
  }
  cell pairs;
  block::init_cell(&pairs, 2 * entry_count(&map) + 2);
  cell* held = stack::push(&pairs);
  uint32_t n = cell_count(&map);
  for (uint32_t i = 0; i + 1 < n; i += 2) {
    if (!live_at(&map, i)) continue;
    cell key = *entry_cell(&map, i);
    cell value = *entry_cell(&map, i + 1);
    block::append_copy(held, &key);
    block::append_copy(held, &value);
  }
  if (deep && !types) {
    cell* deep_copy = block::copy_cells(held, true, true);
    *held = *deep_copy;
    stack::top = held + 1;
  } else if (types) {
    copy_values_of_types(held, deep, types);
  }
  pairs = *held;
  init_cell(result, &pairs, 0);
  stack::top = held;
  return result;
}

int32_t compare_entries(cell* a, cell* b, int32_t op) {
  if (a->data2 == b->data2 && a->data1 == b->data1) return 0;
  if (op == by_same) return -1;
  if (cycle_guard::contains(a->data2)) return cycle_guard::contains(b->data2) ? 0 : -1;
  uint32_t la = entry_count(a), lb = entry_count(b);
  if (la != lb) {
    if (op <= 2 || op == 12) return 1;
    return la < lb ? -1 : 1;
  }
  if (la == 0) return 0;
  cycle_guard ga(a->data2);
  cycle_guard gb(b->data2);
  int32_t code = op == by_strict ? by_strict : by_equal;
  uint32_t n = cell_count(a);
  for (uint32_t i = 0; i + 1 < n; i += 2) {
    if (!live_at(a, i)) continue;
    cell key = *entry_cell(a, i);
    cell value = *entry_cell(a, i + 1);
    int32_t at = lookup(b, &key, code == by_strict);
    if (at < 0) return 1;
    cell other = *entry_cell(b, static_cast<uint32_t>(at) + 1);
    if (actions::compare_direct(&value, &other, code) == 0) continue;
    if (code == by_strict) return 1;
    // Case variants of the key may stand apart in the other map: any of them may match.
    bool matched = false;
    uint32_t m = cell_count(b);
    for (uint32_t j = 0; j + 1 < m && !matched; j += 2) {
      if (!live_at(b, j) || static_cast<int32_t>(j) == at) continue;
      cell k2 = *entry_cell(b, j);
      cell v2 = *entry_cell(b, j + 1);
      matched = type_of(&k2) == type_of(&key) && actions::compare_direct(&k2, &key, 0) == 0 &&
                actions::compare_direct(&value, &v2, 0) == 0;
    }
    if (!matched) return 1;
    n = cell_count(a);
  }
  return 0;
}

int32_t compare(cell* a, cell* b, int32_t op) {
  if (type_of(b) != type::map) return -2;
  switch (op) {
    case 0:
    case 1:
    case 2:
    case 9:
    case 12:
      return compare_entries(a, b, op);
    case 7:
    case 8:
      return a->data2 == b->data2 ? 0 : a->data2 < b->data2 ? -1 : 1;
    default:
      return -2;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Support.

uint32_t entry_count(const cell* m) { return hashtable::live_count(table_of(m)); }

bool key_type_q(uint32_t t) {
  switch (t) {
    case type::word:
    case type::set_word:
    case type::lit_word:
    case type::get_word:
    case type::string:
    case type::file:
    case type::url:
    case type::tag:
    case type::email:
    case type::ref:
    case type::binary:
    case type::char_:
    case type::integer:
    case type::float_:
    case type::percent:
    case type::time:
    case type::date:
    case type::money:
    case type::pair:
    case type::tuple:
    case type::point2d:
    case type::point3d:
    case type::refinement:
    case type::issue:
      return true;
    default:
      return false;
  }
}

void normalize_key(cell* key, const cell* path) {
  uint32_t t = type_of(key);
  if (!key_type_q(t)) {
    cell p = *path;
    cell dt{type::datatype_, t, 0, 0};
    fire(err::script_invalid_path, &p, &dt);
  }
  if (t == type::word || t == type::lit_word || t == type::get_word) {
    set_type(key, type::set_word);
  } else if (is_any_string(t) || t == type::binary) {
    cell k = *key;
    series_buffer* s = memory::buffer_of(series::node_of(&k));
    uint32_t unit = s->unit() ? s->unit() : 1;
    uint32_t length = s->length();
    uint32_t head = series::index_of(&k) < length ? series::index_of(&k) : length;
    node_t copied = memory::copy_part(s, head, length - head);
    key->header = k.header;
    key->data1 = 0;
    key->data2 = copied;
    key->data3 = 0;
    (void)unit;
  }
}

cell* init_cell(cell* c, const cell* block, uint32_t size) {
  uint32_t flags = c->header & ~type_mask & ~new_line_flag;
  cell b;
  if (block) {
    cell src = *block;
    cell* copied = block::copy_cells(&src, false, false);
    b = *copied;
    set_type(&b, type::block);
    series_buffer* s = memory::buffer_of(series::node_of(&b));
    for (cell* p = s->cells_rw(); p < s->cells_tail(); ++p) clear_new_line(p);
    size = s->length();
    *c = b;  // keeps the block reachable while the table is made
    stack::top = copied;
  } else {
    block::init_cell(&b, size);
    *c = b;
  }
  node_t table = hashtable::create(size, series::node_of(&b), hashtable::map_block, 1);
  c->header = flags | type::map;
  c->data1 = 0;
  c->data2 = b.data2;
  c->data3 = table;
  return c;
}

cell* put_pairs(cell* m, const cell* block, bool case_) {
  cell spec = *block;
  int32_t n = block::rs_length(&spec);
  if (n < 0) n = 0;
  if (n % 2 != 0) fire(err::script_invalid_arg, &spec);
  // One growth for the whole block.
  series_buffer* s = entries(m);
  uint64_t need = uint64_t(s->tail) + uint64_t(n) * sizeof(cell);
  if (need > s->size) memory::expand_series_copy(s, static_cast<uint32_t>(memory::round16(need)));
  for (int32_t i = 0; i + 1 < n; i += 2) {
    cell key = *(block::rs_head(&spec) + i);
    cell value = *(block::rs_head(&spec) + i + 1);
    put_value(m, &key, &value, case_, nullptr);
    if (block::rs_length(&spec) < n) break;  // the spec shrank under us
  }
  return m;
}

bool foreach_next(cell* words, cell* series, uint32_t count) {
  cell map = *series;
  bool any = false;
  uint32_t n = cell_count(&map);
  uint32_t at = series->data1;
  for (uint32_t w = 0; w < count; ++w) {
    cell word = *(block::rs_head(words) + w);
    uint32_t wt = type_of(&word);
    if (wt != type::word && wt != type::set_word && wt != type::get_word && wt != type::lit_word)
      fire(err::script_invalid_arg, &word);
    if (w % 2 == 0)
      while (at + 1 < n && !live_at(&map, at)) at += 2;
    cell v{type::none, 0, 0, 0};
    if (at < n) {
      v = *entry_cell(&map, at);
      if (w % 2 == 0) as_word_key(&v);
      clear_new_line(&v);
      ++at;
      any = true;
    }
    context::set_value(&word, &v);
    n = cell_count(&map);
  }
  series->data1 = at;
  return any;
}

void init() {
  registry::add(type::map, {.make = make,
                            .reflect = reflect,
                            .to = to,
                            .form = form,
                            .mold = mold,
                            .eval_path = eval_path,
                            .compare = compare,
                            .clear = clear,
                            .copy = copy,
                            .find = find,
                            .length_q = length_q,
                            .put = put,
                            .remove = remove,
                            .select = select});
}

}  // namespace kaz::map

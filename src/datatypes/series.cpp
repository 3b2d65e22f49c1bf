// series!: the actions shared by every series datatype, whatever its unit size.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/context.h"
#include "core/function.h"
#include "core/ownership.h"
#include "core/registry.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "core/words.h"
#include "datatypes/integer.h"
#include "datatypes/random.h"
#include "datatypes/scalar_types.h"
#include "datatypes/series_common.h"
#include "datatypes/series_types.h"
#include "datatypes/simple_types.h"
#include "datatypes/vector.h"
#include "memory/hashtable.h"
#include "memory/murmur3.h"
#include "memory/sort_width.h"
#include "runtime/fire.h"

namespace kaz::series {

// ---------------------------------------------------------------------------------------------
// Positions.

bool at_tail(const cell* v) {
  series_buffer* s = buffer_of(v);
  return s->offset + uint64_t(v->data1) * s->unit() >= s->tail;
}

uint32_t absolute_length(const cell* v) {
  series_buffer* s = buffer_of(v);
  return s->used_bytes() / s->unit();
}

bool advance_head(cell* v, int32_t n) {
  series_buffer* s = buffer_of(v);
  int64_t head = int64_t(v->data1) + n;
  if (head < 0) head = 0;
  uint64_t p = s->offset + uint64_t(head) * s->unit();
  if (p <= s->tail) v->data1 = static_cast<uint32_t>(head);
  return p >= s->tail;
}

uint32_t length_from_head(cell* v, bool from_start) {
  uint32_t len = absolute_length(v);
  if (from_start) return len;
  if (v->data1 >= len) {
    v->data1 = len;
    return 0;
  }
  return len - v->data1;
}

void bad_refine_arg(const char* word, const cell* value) {
  cell w;
  context::intern_global(symbol::make(word), &w);
  cell v = *value;
  fire(err::script_invalid_refine_arg, &w, &v);
}

void bad_refine_arg(const cell* series, const char* word, const cell* value) {
  uint32_t t = type_of(series);
  if (!is_any_string(t) && t != type::binary) bad_refine_arg(word, value);
  cell r{type::refinement, 0, symbol::make(word), 0};
  cell v = *value;
  fire(err::script_invalid_refine_arg, &r, &v);
}

int32_t to_int_arg(const cell* number) {
  if (type_of(number) != type::float_ && type_of(number) != type::percent)
    return integer_type::value_of(number);
  double d = get_double(number);
  if (!(d >= -2147483648.0 && d <= 2147483647.0)) fire(err::script_out_of_range, number);
  return static_cast<int32_t>(std::trunc(d));
}

int32_t part_count(const cell* series, const cell* part) {
  uint32_t t = type_of(part);
  if (t == type::integer || t == type::float_ || t == type::percent) return to_int_arg(part);
  if (t != type_of(series) || part->data2 != series->data2) bad_refine_arg(series, "part", part);
  return static_cast<int32_t>(part->data1) - static_cast<int32_t>(series->data1);
}

namespace {

inline const uint8_t* unit_at(const series_buffer* s, uint32_t index) {
  return s->head() + size_t(index) * s->unit();
}
inline uint8_t* unit_at_rw(series_buffer* s, uint32_t index) {
  return s->head_rw() + size_t(index) * s->unit();
}

[[noreturn]] void invalid_arg(const cell* value) {
  cell v = *value;
  fire(err::script_invalid_arg, &v);
}

// The position pick and poke address: 1 is the head, -1 the unit just before it.
int64_t picked_position(const cell* series, int32_t index) {
  return int64_t(series->data1) + index - (index > 0 ? 1 : 0);
}

// ---------------------------------------------------------------------------------------------
// Elements as values.

void element_value(const cell* series, uint32_t index, cell* out) {
  uint32_t t = type_of(series);
  series_buffer* s = buffer_of(series);
  const uint8_t* p = unit_at(s, index);
  if (is_any_block(t)) {
    *out = *reinterpret_cast<const cell*>(p);
  } else if (t == type::binary) {
    *out = cell{type::integer, 0, *p, 0};
  } else if (t == type::vector) {
    vector::read_element(p, s->unit(), vector::element_type_of(series), out);
  } else if (t == type::image) {
    uint32_t raw;
    std::memcpy(&raw, p, 4);
    *out = cell{type::integer, 0, raw, 0};
  } else {
    *out = cell{type::char_, 0, string::get_char(p, s->unit()), 0};
  }
}

}  // namespace

const cell* element_at(const cell* series, uint32_t index) {
  if (is_any_block(type_of(series))) return buffer_of(series)->cells() + index;
  cell v;
  element_value(series, index, &v);
  return stack::push(&v);
}

// ---------------------------------------------------------------------------------------------
// Ownership notifications.

namespace {

const char* const change_words[][2] = {
    {"append", "appended"}, {"insert", "inserted"}, {"change", "changed"},
    {"clear", "cleared"},   {"poke", "poked"},      {"put", "put-ed"},
    {"remove", "removed"},  {"random", "randomized"}, {"reverse", "reversed"},
    {"sort", "sorted"},     {"swap", "swaped"},     {"take", "taken"},
    {"move", "moved"},      {"trim", "trimmed"},
};
constexpr uint32_t change_count = sizeof change_words / sizeof change_words[0];

bool is_owned(const cell* series) {
  if (type_of(series) == type::image) return series->header & ownership::image_owned;
  return buffer_of(series)->flags & series_flag::owned;
}

// Tells the owner; the action words' symbols are made on first use.
bool report(const cell* series, change what, bool after, const cell* value, int32_t index,
            int32_t part) {
  static uint32_t symbols[change_count][2];
  auto k = static_cast<uint32_t>(what);
  uint32_t& sym = symbols[k][after ? 1 : 0];
  if (!sym) sym = symbol::make(change_words[k][after ? 1 : 0]);
  cell target = *series;
  cell action{type::word, 0, sym, 0};
  cell new_value = value ? *value : cell{type::unset, 0, 0, 0};
  return ownership::check(&target, &action, value ? &new_value : nullptr, index, part);
}

}  // namespace

bool owned_before(const cell* series, change what, const cell* value, int32_t index,
                  int32_t part) {
  if (!is_owned(series)) return false;
  return report(series, what, false, value, index, part);
}

void owned_after(const cell* series, change what, const cell* value, int32_t index,
                 int32_t part) {
  if (is_owned(series)) report(series, what, true, value, index, part);
}

// ---------------------------------------------------------------------------------------------
// Navigation: the arguments are on the evaluation stack, the series is the result slot.

namespace {

cell* subject() { return stack::arguments; }

void head() { subject()->data1 = 0; }
void tail() { subject()->data1 = absolute_length(subject()); }
void next() { advance_head(subject(), 1); }
void back() {
  if (subject()->data1 > 0) subject()->data1--;
}

// at and skip: skip adds the offset; at counts from 1 (at 1 and at 0 are the head). The index
// stays between 0 and the length.
void compute_position(bool at) {
  cell* offset = stack::arguments + 1;
  if (type_of(offset) != type::integer) invalid_arg(offset);
  int64_t n = integer_type::value_of(offset);
  int64_t index = int64_t(subject()->data1) + n - (at && n >= 1 ? 1 : 0);
  int64_t len = absolute_length(subject());
  subject()->data1 = static_cast<uint32_t>(std::clamp<int64_t>(index, 0, len));
}
void at() { compute_position(true); }
void skip() { compute_position(false); }

void head_q() { logic_type::box(subject()->data1 == 0); }
void tail_q() { logic_type::box(at_tail(subject())); }
void index_q() {
  uint32_t head = subject()->data1;
  *subject() = cell{type::integer, 0, head + 1, 0};
}

int32_t length_q(cell* series) {
  cell v = *series;
  return static_cast<int32_t>(length_from_head(&v));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Positional access.

const cell* pick(cell* series, int32_t index, cell*) {
  int64_t p = picked_position(series, index);
  if (index == 0 || p < 0 || p >= absolute_length(series)) return &none_value;
  return element_at(series, static_cast<uint32_t>(p));
}

cell* poke(cell* series, int32_t index, cell* value, cell*) {
  cell v = *value;
  uint32_t t = type_of(series);
  int64_t p = picked_position(series, index);
  if (index == 0 || p < 0 || p >= absolute_length(series)) {
    cell i{type::integer, 0, static_cast<uint32_t>(index), 0};
    fire(err::script_out_of_range, &i);
  }
  uint32_t vt = type_of(&v);
  // The value is checked before anything changes.
  if (t == type::vector && vt != vector::element_type_of(series)) invalid_arg(&v);
  if (t == type::binary) {
    auto n = static_cast<int32_t>(v.data2);
    if ((vt != type::integer && vt != type::char_) || n < -128 || n > 255) invalid_arg(&v);
  } else if ((is_any_string(t)) && vt != type::char_) {
    invalid_arg(&v);
  }
  auto at = static_cast<uint32_t>(p);
  bool owned = owned_before(series, change::poke, &v, static_cast<int32_t>(at), 1);
  // An owner's handler runs code: the position must still be there.
  if (owned && at >= absolute_length(series)) {
    cell i{type::integer, 0, static_cast<uint32_t>(index), 0};
    fire(err::script_out_of_range, &i);
  }
  series_buffer* s = buffer_of(series);
  if (is_any_block(t)) {
    s->cells_rw()[at] = v;
    block::hash_spliced(series, at, 1, 1);
  } else if (t == type::binary) {
    *unit_at_rw(s, at) = static_cast<uint8_t>(v.data2);
  } else if (t == type::vector) {
    vector::write_element(unit_at_rw(s, at), s->unit(), &v);
  } else if (t == type::image) {
    std::memcpy(unit_at_rw(s, at), &v.data2, 4);
  } else {
    string::overwrite_char(series->data2, s->offset / s->unit() + at, char_type::code_of(&v));
  }
  if (owned) owned_after(series, change::poke, &v, static_cast<int32_t>(at), 1);
  return value;
}

// ---------------------------------------------------------------------------------------------
// Removal.

cell* clear(cell* series) {
  uint32_t n = length_from_head(series);
  if (n == 0) return series;
  auto head = static_cast<int32_t>(series->data1);
  bool owned = owned_before(series, change::clear, nullptr, head, static_cast<int32_t>(n));
  series_buffer* s = buffer_of(series);
  uint32_t len = absolute_length(series);
  if (series->data1 < len) {
    s->tail = s->offset + series->data1 * s->unit();
    block::hash_spliced(series, series->data1, len - series->data1, 0);
  }
  if (owned) owned_after(series, change::clear, nullptr, head, static_cast<int32_t>(n));
  return series;
}

namespace {

// Removes count units at an absolute index (cut to the tail), closing the gap.
void cut(cell* series, uint32_t index, uint32_t count) {
  series_buffer* s = buffer_of(series);
  uint32_t len = s->used_bytes() / s->unit();
  if (index >= len) return;
  count = std::min(count, len - index);
  uint8_t* at = unit_at_rw(s, index);
  size_t unit = s->unit();
  std::memmove(at, at + count * unit, (len - index - count) * unit);
  s->tail -= count * s->unit();
}

}  // namespace

cell* remove(cell* series, cell* part, cell* key) {
  int32_t count = 1;
  if (part) {
    count = part_count(series, part);
    if (count < 1) return series;
  }
  if (key) {
    slot_fn::find f = registry::row(type_of(series)).find;
    if (!f) actions::unsupported(series, slot::find);
    cell probe = *series;
    cell k = *key;
    cell found = *f(&probe, &k, nullptr, false, true, false, false, nullptr, nullptr, false,
                    false, false, false);
    if (type_of(&found) == type::none) {
      series->header = type::none;
      return series;
    }
    series->data1 = found.data1;
    count = count == INT32_MAX ? count : count + 1;
  }
  uint32_t head = series->data1;
  if (head < absolute_length(series)) {
    bool owned = owned_before(series, change::remove, nullptr, static_cast<int32_t>(head), count);
    uint32_t len = absolute_length(series);
    cut(series, head, static_cast<uint32_t>(count));
    if (head < len)
      block::hash_spliced(series, head, std::min(static_cast<uint32_t>(count), len - head), 0);
    if (owned) owned_after(series, change::remove, nullptr, static_cast<int32_t>(head), count);
  }
  return series;
}

namespace {

cell* reverse(cell* series, cell* part, cell* skip_arg) {
  if (at_tail(series)) return series;
  uint32_t avail = length_from_head(series);
  int32_t count = static_cast<int32_t>(avail);
  if (part) {
    count = part_count(series, part);
    if (count < 1) return series;
    if (static_cast<uint32_t>(count) > avail) count = static_cast<int32_t>(avail);
  }
  int32_t k = 1;
  if (skip_arg) {
    if (type_of(skip_arg) != type::integer) bad_refine_arg(series, "skip", skip_arg);
    k = integer_type::value_of(skip_arg);
    if (k == count) return series;
    if (k < 1) fire(err::script_out_of_range, skip_arg);
    if (count < k || count % k != 0) bad_refine_arg(series, "skip", skip_arg);
  }
  auto head = static_cast<int32_t>(series->data1);
  bool owned = owned_before(series, change::reverse, nullptr, head, count);
  avail = length_from_head(series);  // an owner's handler may have changed the series
  if (static_cast<uint32_t>(count) > avail) count = static_cast<int32_t>(avail - avail % k);
  series_buffer* s = buffer_of(series);
  size_t record = size_t(s->unit()) * k;
  uint8_t* front = unit_at_rw(s, series->data1);
  uint8_t* last = front + size_t(count) * s->unit() - record;
  sort::with_record_width(record, [&](auto width) {
    for (; front < last; front += record, last -= record) width.swap(front, last);
  });
  block::hash_spliced(series, series->data1, static_cast<uint32_t>(count),
                      static_cast<uint32_t>(count));
  if (owned) owned_after(series, change::reverse, nullptr, head, count);
  return series;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Copy and take: new series of the source's datatype and unit.

namespace {

// A new series value of the source's datatype over a new buffer of `count` units copied from
// the source's absolute index `start`. The buffer takes only the source's unit: a copy is never
// owned, fixed or marked by inheritance.
void new_series_from(const cell* source, uint32_t start, uint32_t count, cell* out) {
  cell src = *source;
  uint32_t unit = buffer_of(&src)->unit();
  out->header = type::unset;  // seen by the collector while the buffer is made
  node_t node = memory::alloc_units(count, unit);
  series_buffer* to = memory::buffer_of(node);
  series_buffer* from = buffer_of(&src);
  std::memcpy(to->head_rw(), from->head() + size_t(start) * unit, size_t(count) * unit);
  to->tail = to->offset + count * unit;
  out->data1 = 0;
  out->data2 = node;
  out->data3 = type_of(&src) == type::vector ? src.data3 : 0;
  out->header = type_of(&src) | (src.header & new_line_flag);
}

}  // namespace

cell* copy(cell* series, cell* result, cell* part, bool, cell*) {
  int64_t start = series->data1;
  int64_t len = absolute_length(series);
  int64_t count = std::max<int64_t>(len - start, 0);
  if (part) {
    if (type_of(part) == type::pair) {
      auto x = pair_type::x_of(part), y = pair_type::y_of(part);
      start = std::max<int64_t>(int64_t(series->data1) + x - (x > 0 ? 1 : 0), 0);
      count = y < x ? 0 : int64_t(y) - x;
    } else {
      count = part_count(series, part);
    }
    if (count < 0) {
      count = -count;
      start -= count;
      if (start < 0) {
        start = 0;
        count = series->data1;
      }
    }
  }
  if (start > len) {
    start = len;
    count = 0;
  }
  if (start + count > len) count = len - start;
  new_series_from(series, static_cast<uint32_t>(start), static_cast<uint32_t>(count), result);
  return result;
}

namespace {

/*
 * What a take removes: `count` units at absolute index `from`. With /part: an integer (or a
 * series position) gives the count; a negative count takes the units just before the head; a
 * count of 0 takes nothing. /last takes from the tail.
 */
struct take_range {
  uint32_t from = 0;
  uint32_t count = 0;
};

take_range range_of_take(cell* series, cell* part, bool last) {
  uint32_t n = length_from_head(series);
  uint32_t head = series->data1;
  take_range r;
  int64_t c = 1;
  if (part) {
    uint32_t t = type_of(part);
    if (t == type::integer || t == type::float_ || t == type::percent) {
      c = to_int_arg(part);
    } else if (t == type_of(series) && part->data2 == series->data2) {
      if (part->data1 < head)
        c = 0;
      else
        c = last ? int64_t(head) + n - part->data1 : int64_t(part->data1) - head;
    } else {
      bad_refine_arg(series, "part", part);
    }
    if (c == 0) return r;  // nothing taken
    if (c < 0) {
      // The units just before the head; nothing with /last.
      if (last) return r;
      r.count = static_cast<uint32_t>(std::min<int64_t>(-c, head));
      r.from = head - r.count;
      return r;
    }
  }
  r.count = static_cast<uint32_t>(std::min<int64_t>(c, n));
  r.from = last ? head + n - r.count : head;
  return r;
}

// Removes the range from the source, notifying an owner.
void remove_range(cell* series, const take_range& r) {
  bool owned = owned_before(series, change::take, nullptr, static_cast<int32_t>(r.from),
                            static_cast<int32_t>(r.count));
  uint32_t len = absolute_length(series);
  cut(series, r.from, r.count);
  if (r.from < len) block::hash_spliced(series, r.from, std::min(r.count, len - r.from), 0);
  if (owned)
    owned_after(series, change::take, nullptr, static_cast<int32_t>(r.from),
                static_cast<int32_t>(r.count));
}

}  // namespace

cell* take(cell* series, cell* part, bool, bool last) {
  if (length_from_head(series) < 1) {
    series->header = type::none;
    return series;
  }
  take_range r = range_of_take(series, part, last);
  cell* result = stack::reserve_cell();
  new_series_from(series, r.from, r.count, result);
  result->header &= ~new_line_flag;
  if (type_of(series) == type::hash) {
    cell made = *result;
    result->data3 = hashtable::create(r.count, made.data2, hashtable::hash_block);
  }
  if (r.count) remove_range(series, r);
  return result;
}

bool take_one(cell* series, bool last, cell* out) {
  if (length_from_head(series) < 1) return false;
  take_range r = range_of_take(series, nullptr, last);
  element_value(series, r.from, out);
  remove_range(series, r);
  return true;
}

// ---------------------------------------------------------------------------------------------
// random: seed from the series, one element at random, or a shuffle.

namespace {

const cell* random(cell* series, bool seed, bool secure, bool only) {
  uint32_t n = length_from_head(series);
  series_buffer* s = buffer_of(series);
  if (seed) {
    // A fixed hash seed: seeding from the same series gives the same draws in every run.
    random::seed(hashtable::murmur3(unit_at(s, series->data1), size_t(n) * s->unit(), 0));
    series->header = type::unset;
    return series;
  }
  if (only) {
    if (n < 1) return &none_value;
    int32_t r = random::next_in_range(static_cast<int32_t>(n), secure);
    return element_at(series, series->data1 + static_cast<uint32_t>(r) - 1);
  }
  auto head = static_cast<int32_t>(series->data1);
  bool owned = owned_before(series, change::random, nullptr, head, static_cast<int32_t>(n));
  n = length_from_head(series);  // an owner's handler may have changed the series
  s = buffer_of(series);
  uint32_t unit = s->unit();
  uint8_t* at = unit_at_rw(s, series->data1);
  sort::with_record_width(unit, [&](auto width) {
    for (uint32_t k = n; k >= 1; --k, at += unit) {
      int32_t r = random::next_in_range(static_cast<int32_t>(k), secure);
      width.swap(at + size_t(r - 1) * unit, at);
    }
  });
  block::hash_spliced(series, series->data1, n, n);
  if (owned) owned_after(series, change::random, nullptr, head, static_cast<int32_t>(n));
  return series;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// move: units from one series (or place) to another.

namespace {

[[noreturn]] void move_bad(const cell* origin, const cell* target) {
  cell a{type::datatype_, type_of(origin), 0, 0};
  cell b{type::datatype_, type_of(target), 0, 0};
  fire(err::script_move_bad, &a, &b);
}

bool movable(uint32_t t) {
  return is_any_block(t) || is_any_string(t) || is_buffer_type(t);
}

// Moving between two buffers: the values must keep their meaning on the other side.
void check_move_kinds(const cell* origin, const cell* target) {
  uint32_t o = type_of(origin), t = type_of(target);
  if (is_any_block(o) != is_any_block(t)) move_bad(origin, target);
  bool o_text = is_any_string(o), t_text = is_any_string(t);
  if (o_text && t_text) return;
  if (o == type::vector || t == type::vector) {
    if (o != t || vector::element_type_of(origin) != vector::element_type_of(target)) move_bad(origin, target);
  }
  if ((o == type::image) != (t == type::image)) move_bad(origin, target);
  if (buffer_of(origin)->unit() != buffer_of(target)->unit()) move_bad(origin, target);
}

// Between two text series of different unit widths: character by character.
void move_text(cell* origin, cell* target, uint32_t count) {
  uint32_t to = buffer_of(target)->offset / buffer_of(target)->unit() + target->data1;
  for (uint32_t i = 0; i < count; ++i) {
    series_buffer* s = buffer_of(origin);
    uint32_t c = string::get_char(unit_at(s, origin->data1 + i), s->unit());
    string::insert_char(target->data2, to + i, c);
  }
  cut(origin, origin->data1, count);
}

void move_between(cell* origin, cell* target, uint32_t count) {
  count = std::min(count, length_from_head(origin));
  uint32_t unit = buffer_of(origin)->unit();
  if (unit != buffer_of(target)->unit()) {
    move_text(origin, target, count);
    return;
  }
  size_t bytes = size_t(count) * unit;
  series_buffer* t = buffer_of(target);
  if (t->tail + bytes > t->size) {
    uint64_t want = (uint64_t(t->used_bytes()) + bytes) * 2;
    if (want > memory::max_series_bytes) want = uint64_t(t->used_bytes()) + bytes;
    if (want > memory::max_series_bytes) fire(err::internal_no_memory);
    t = memory::expand_series_copy(t, static_cast<uint32_t>(want));
  }
  uint32_t tlen = t->used_bytes() / unit;
  uint32_t at = std::min(target->data1, tlen);
  uint8_t* dest = unit_at_rw(t, at);
  std::memmove(dest + bytes, dest, size_t(tlen - at) * unit);
  t->tail += static_cast<uint32_t>(bytes);
  std::memcpy(dest, unit_at(buffer_of(origin), origin->data1), bytes);
  cut(origin, origin->data1, count);
  block::hash_spliced(origin, origin->data1, count, 0);
  block::hash_spliced(target, at, 0, count);
}

// Inside one buffer: the units at o go after the unit at t (forward) or to t (backward).
cell* move_within(cell* origin, cell* target, uint32_t count) {
  series_buffer* s = buffer_of(origin);
  uint32_t unit = s->unit();
  uint32_t len = s->used_bytes() / unit;
  uint32_t o = origin->data1, t = std::min(target->data1, len);
  if (t == o) return target;
  if (t > o) {
    if (t < o + count) return target;  // into the moved units themselves
    if (t < len && len - t < count) return origin;
  }
  bool owned = owned_before(origin, change::move, nullptr, static_cast<int32_t>(o),
                            static_cast<int32_t>(count));
  if (owned) {  // an owner's handler ran code: the positions must still hold
    s = buffer_of(origin);
    len = s->used_bytes() / unit;
    if (o + count > len || t > len) return target;
  }
  uint8_t* base = s->head_rw();
  if (t > o) {
    uint32_t end = t < len ? t + 1 : len;
    std::rotate(base + size_t(o) * unit, base + size_t(o + count) * unit, base + size_t(end) * unit);
    block::hash_rotated(origin, o, o + count, end);
  } else {
    std::rotate(base + size_t(t) * unit, base + size_t(o) * unit, base + size_t(o + count) * unit);
    block::hash_rotated(origin, t, o, o + count);
  }
  if (owned)
    owned_after(target, change::move, nullptr, static_cast<int32_t>(t) - static_cast<int32_t>(count),
                static_cast<int32_t>(count));
  return target;
}

cell* move(cell* origin, cell* target, cell* part) {
  if (!movable(type_of(target))) {
    cell name, word;
    stack::get_call_name(&name);
    cell dt{type::datatype_, type_of(target), 0, 0};
    function::spec_word_at(0, &word);
    fire(err::script_expect_arg, &name, &dt, &word);
  }
  if (at_tail(origin)) return target;
  int32_t count = 1;
  if (part) {
    if (type_of(part) != type::integer) bad_refine_arg(origin, "part", part);
    count = integer_type::value_of(part);
    if (count < 1) return target;
  }
  count = std::min<int32_t>(count, static_cast<int32_t>(length_from_head(origin)));
  if (origin->data2 == target->data2) return move_within(origin, target, static_cast<uint32_t>(count));
  check_move_kinds(origin, target);
  bool owned = owned_before(origin, change::move, nullptr, static_cast<int32_t>(origin->data1), count);
  move_between(origin, target, static_cast<uint32_t>(count));
  if (owned)
    owned_after(target, change::move, nullptr, static_cast<int32_t>(target->data1), count);
  return target;
}

// ---------------------------------------------------------------------------------------------
// Reflection and ownership fields.

bool is_owned_field(uint32_t symbol) {
  static uint32_t owned = 0;
  if (!owned) owned = symbol::make("owned");
  return symbol::resolve(symbol) == symbol::resolve(owned);
}

// The field `owned`: the owner of the series, or none.
cell* reflect(cell* series, uint32_t field) {
  if (!is_owned_field(field)) fire(err::internal_not_done);
  cell* owner = ownership::find_owner(series->data2);
  if (!owner) return &none_value;
  *series = *owner;
  return series;
}

// The field `owned`: none takes ownership away; [owner field] gives it to that object through
// that field word.
cell* modify(cell* series, cell* field, cell* value, bool) {
  if (type_of(field) != type::word || !is_owned_field(word::symbol_of(field))) return value;
  cell v = *value;
  if (type_of(&v) == type::none) {
    ownership::unbind(series);
  } else if (type_of(&v) == type::block) {
    if (block::length_from_head(&v) < 2) invalid_arg(&v);
    cell owner = *block::rs_head(&v), word = *(block::rs_head(&v) + 1);
    if (type_of(&owner) != type::object || !is_any_word(type_of(&word))) invalid_arg(&v);
    ownership::set_owner(series, &owner, &word);
  }
  return value;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

void init() {
  registry::add(type::series, {.random = random,
                               .reflect = reflect,
                               .at = at,
                               .back = back,
                               .clear = clear,
                               .copy = copy,
                               .head = head,
                               .head_q = head_q,
                               .index_q = index_q,
                               .length_q = length_q,
                               .move = move,
                               .next = next,
                               .pick = pick,
                               .poke = poke,
                               .remove = remove,
                               .reverse = reverse,
                               .skip = skip,
                               .tail = tail,
                               .tail_q = tail_q,
                               .take = take,
                               .modify = modify});
}

}  // namespace kaz::series

// append, insert and change of string-family series.
#include <algorithm>
#include <cstring>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/string_storage.h"
#include "datatypes/scalar_types.h"
#include "datatypes/series_common.h"
#include "datatypes/string_actions.h"
#include "runtime/fire.h"

namespace kaz::string_type {

namespace {

/*
 * The text a value gives is either known before anything is written (a char!, a string-family
 * value, a tag! with its brackets) or only once it has been formed (every other value). Known
 * text from another buffer is written straight into a gap opened at its place; formed text,
 * and text taken from the series' own buffer, is first written at the tail and then rotated
 * into place, so that nothing is read after it has moved.
 */
struct known_text {
  uint32_t units;  // after /part
  uint32_t unit;   // the unit the text needs
};

bool known_size(const cell* value, int32_t part, known_text& k) {
  uint32_t t = type_of(value);
  uint64_t n;
  if (t == type::char_) {
    n = 1;
    k.unit = string::append_unit_for(char_type::code_of(value));
  } else if (is_any_string(t)) {
    n = string::length_from_head(value) + (t == type::tag ? 2 : 0);
    k.unit = string::checked_unit(string::buffer_of(value));
  } else {
    return false;
  }
  if (part >= 0 && static_cast<uint64_t>(part) < n) n = static_cast<uint32_t>(part);
  k.units = static_cast<uint32_t>(n);
  return true;
}

// Writes the first k.units units of the value's text at p (tag!: "<" text ">").
void write_known(uint8_t* p, uint32_t unit, const cell* value, uint32_t units) {
  if (type_of(value) == type::char_) {
    string::put_char(p, unit, char_type::code_of(value));
    return;
  }
  string::text t = string::text_of(value);
  if (type_of(value) != type::tag) {
    string::copy_units(t.p, t.unit, p, unit, units);
    return;
  }
  string::put_char(p, unit, '<');
  uint32_t body = std::min(units - 1, t.length);
  string::copy_units(t.p, t.unit, p + unit, unit, body);
  if (units > body + 1) string::put_char(p + size_t(body + 1) * unit, unit, '>');
}

// Repeats the n units at absolute index `at` so that they appear dup times in a row; the room
// after them is there already.
void replicate(uint8_t* p, uint32_t unit, uint32_t n, int32_t dup) {
  size_t done = size_t(n) * unit, total = done * static_cast<uint32_t>(dup);
  while (done < total) {
    size_t k = std::min(done, total - done);
    std::memcpy(p + done, p, k);
    done += k;
  }
}

[[noreturn]] void too_big() { fire(err::internal_no_memory); }

// Forms the value at the tail, as append does for values that are not text: a block!, paren!
// or hash! element by element (part counting elements, or with /only the characters), anything
// else once (part a character budget with /only).
void append_formed(cell* series, const cell* value, int32_t part, bool only) {
  node_t node = series->data2;
  cell out{type::string, 0, node, 0};
  uint32_t start = string::absolute_length(series);
  bool budget = only && part >= 0;
  int32_t limit = budget ? part : 0x7FFFFFFF;
  cell part_flag{type::integer, 0, static_cast<uint32_t>(limit), 0};
  cell* part_arg = budget ? &part_flag : nullptr;
  uint32_t t = type_of(value);
  if (t == type::block || t == type::paren || t == type::hash) {
    cell blk = *value;
    int32_t n = std::max(block::rs_length(&blk), 0);
    if (!only && part >= 0) n = std::min(n, part);
    for (int32_t i = 0; i < n && limit > 0; ++i) {
      if (i >= block::rs_length(&blk)) break;  // forming may have run code that shortened it
      cell v = *(block::rs_head(&blk) + i);
      limit = actions::form(&v, &out, part_arg, limit);
    }
  } else {
    cell v = *value;
    actions::form(&v, &out, part_arg, limit);
  }
  if (budget) string::truncate_buffer(node, start + static_cast<uint32_t>(part));
}

// Appends the value's text dup times at the tail; answers the units appended.
uint32_t append_text(cell* series, const cell* value, int32_t part, bool only, int32_t dup) {
  node_t node = series->data2;
  uint32_t start = string::absolute_length(series);
  known_text k;
  if (known_size(value, part, k)) {
    if (k.units == 0) return 0;
    uint32_t unit = std::max(k.unit, string::buffer_of(series)->unit());
    uint64_t total = uint64_t(k.units) * static_cast<uint32_t>(dup);
    if ((start + total) * unit > memory::max_series_bytes) too_big();
    if (unit > string::buffer_of(series)->unit()) string::widen(node, unit);
    series_buffer* s = string::ensure_room(node, total * unit);
    uint8_t* p = s->tail_rw();
    write_known(p, unit, value, k.units);
    replicate(p, unit, k.units, dup);
    s->tail += static_cast<uint32_t>(total * unit);
    return static_cast<uint32_t>(total);
  }
  append_formed(series, value, part, only);
  uint32_t n = string::absolute_length(series) - start;
  if (dup > 1 && n > 0) {
    series_buffer* s = string::buffer_of(series);
    uint32_t unit = s->unit();
    uint64_t extra = uint64_t(n) * (static_cast<uint32_t>(dup) - 1) * unit;
    if (uint64_t(s->used_bytes()) + extra > memory::max_series_bytes) {
      string::truncate_buffer(node, start);  // undo the formed text before reporting
      too_big();
    }
    s = string::ensure_room(node, extra);
    replicate(s->head_rw() + size_t(start) * unit, unit, n, dup);
    s->tail += static_cast<uint32_t>(extra);
  }
  return n * static_cast<uint32_t>(dup);
}

/*
 * Replaces `span` units at absolute index `at` by the value's text, dup times, written at the
 * tail first and rotated into place; answers the units written. Without a span of its own
 * (change without /part) the span is as long as the text, within the series.
 */
uint32_t replace_via_tail(cell* series, const cell* value, uint32_t at, int32_t span,
                          int32_t part, bool only, int32_t dup) {
  uint32_t tail = string::absolute_length(series);
  uint32_t n = append_text(series, value, part, only, dup);
  uint32_t removed = span >= 0 ? static_cast<uint32_t>(span) : std::min(n, tail - at);
  series_buffer* s = string::buffer_of(series);
  uint32_t unit = s->unit();
  string::exchange_parts(s->head_rw() + size_t(at) * unit, (tail - at) * unit, n * unit);
  if (removed > 0) string::remove_part(series->data2, at + n, removed);
  return n;
}

// The same for known text from another buffer: a gap of the right size, then one write.
uint32_t replace_in_place(cell* series, const cell* value, const known_text& k, uint32_t at,
                          uint32_t span, int32_t dup) {
  node_t node = series->data2;
  uint32_t length = string::absolute_length(series);
  uint64_t total = uint64_t(k.units) * static_cast<uint32_t>(dup);
  uint32_t unit = std::max(k.unit, string::buffer_of(series)->unit());
  if ((length - span + total) * unit > memory::max_series_bytes) too_big();
  if (total == 0 && span == 0) return 0;
  if (unit > string::buffer_of(series)->unit()) string::widen(node, unit);
  series_buffer* s = string::buffer_of(series);
  if (total > span) s = string::ensure_room(node, (total - span) * unit);
  uint8_t* p = s->head_rw() + size_t(at) * unit;
  std::memmove(p + total * unit, p + size_t(span) * unit, size_t(length - at - span) * unit);
  s->tail = s->offset + static_cast<uint32_t>((length - span + total) * unit);
  if (total > 0) {
    write_known(p, unit, value, k.units);
    replicate(p, unit, k.units, dup);
  }
  return static_cast<uint32_t>(total);
}

// True when the value's text lives in the series' own buffer.
bool shares_buffer(const cell* value, const cell* series) {
  return is_any_string(type_of(value)) && value->data2 == series->data2;
}

// insert (and append) without the owner's notifications; answers the units written.
uint32_t insert_value(cell* series, cell* value, int32_t part, bool only, int32_t dup,
                      bool append) {
  if (dup < 1) return 0;
  uint32_t length = string::absolute_length(series);
  known_text k;
  bool known = known_size(value, part, k);
  if (append) {
    if (known && k.units == 0) return 0;
    uint32_t n = append_text(series, value, part, only, dup);
    series->data1 = 0;
    return n;
  }
  uint32_t at = std::min(series->data1, length);
  uint32_t n;
  if (at == length) {
    n = append_text(series, value, part, only, dup);
  } else if (known && !shares_buffer(value, series)) {
    n = replace_in_place(series, value, k, at, 0, dup);
  } else {
    n = replace_via_tail(series, value, at, 0, part, only, dup);
  }
  series->data1 = std::min(at + n, string::absolute_length(series));
  return n;
}

uint32_t change_value(cell* series, cell* value, int32_t part, bool only, int32_t dup) {
  if (dup < 1) return 0;
  uint32_t length = string::absolute_length(series);
  uint32_t at = std::min(series->data1, length);
  uint32_t rest = length - at;
  int32_t span = part >= 0 ? static_cast<int32_t>(std::min(static_cast<uint32_t>(part), rest)) : -1;
  uint32_t n;
  known_text k;
  if (at == length) {
    n = append_text(series, value, -1, only, dup);
  } else if (known_size(value, -1, k) && !shares_buffer(value, series)) {
    uint32_t removed = span >= 0 ? static_cast<uint32_t>(span)
                                 : static_cast<uint32_t>(std::min<uint64_t>(uint64_t(k.units) * dup, rest));
    n = replace_in_place(series, value, k, at, removed, dup);
  } else {
    n = replace_via_tail(series, value, at, span, -1, only, dup);
  }
  series->data1 = std::min(at + n, string::absolute_length(series));
  return n;
}

// The position a change starts at: the head, or the tail for append and past the tail.
int32_t change_index(const cell* series, bool append) {
  uint32_t length = string::absolute_length(series);
  return static_cast<int32_t>(append ? length : std::min(series->data1, length));
}

// The units a value will write when that is known before it is formed, else 0.
int32_t expected_units(const cell* value, int32_t part, int32_t dup) {
  known_text k;
  if (dup < 1 || !known_size(value, part, k)) return 0;
  return static_cast<int32_t>(std::min<uint64_t>(uint64_t(k.units) * dup, 0x7FFFFFFF));
}

}  // namespace

/*
 * The owner of an owned series hears the action before anything changes (its handler may
 * change the series, so the work starts afterwards) and its past form once done, with the
 * position and the number of units written.
 */
cell* insert(cell* series, cell* value, int32_t part, bool only, int32_t dup, bool append) {
  series::change what = append ? series::change::append : series::change::insert;
  int32_t at = change_index(series, append);
  bool owned = series::owned_before(series, what, value, at, expected_units(value, part, dup));
  uint32_t n = insert_value(series, value, part, only, dup, append);
  if (owned) series::owned_after(series, what, value, at, static_cast<int32_t>(n));
  return series;
}

cell* change(cell* series, cell* value, int32_t part, bool only, int32_t dup) {
  int32_t at = change_index(series, false);
  bool owned = series::owned_before(series, series::change::change, value, at,
                                    expected_units(value, -1, dup));
  uint32_t n = change_value(series, value, part, only, dup);
  if (owned) series::owned_after(series, series::change::change, value, at, static_cast<int32_t>(n));
  return series;
}

}  // namespace kaz::string_type

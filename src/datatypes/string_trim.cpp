// trim of string-family series: whitespace at the ends and around line breaks, whole lines, or
// every character of a set.
#include <algorithm>
#include <bitset>

#include "core/string_storage.h"
#include "datatypes/series_common.h"
#include "datatypes/string_actions.h"
#include "runtime/fire.h"

namespace kaz::string_type {

namespace {

// Whitespace trimmed at the ends: the controls, space and the Unicode spaces.
bool end_space(uint32_t c) {
  if (c >= 1 && c <= 0x20) return true;
  return c == 0x85 || c == 0xA0 || c == 0x1680 || c == 0x180E || (c >= 0x2000 && c <= 0x200A) ||
         c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Spaces removed around inner line breaks: space, tab and the Unicode spaces.
bool inner_space(uint32_t c) { return c == ' ' || c == '\t' || (c > 0x7F && end_space(c)); }

/*
 * The text from the head, rewritten in place: `read` walks the old units while `write` lays
 * down the kept ones (never ahead of `read`); finish() moves the tail after the last one.
 */
struct rewrite {
  cell* series;
  uint8_t* p;  // the head unit
  uint32_t unit;
  uint32_t length;
  uint32_t write = 0;

  explicit rewrite(cell* s) : series(s) {
    string::rs_head(s);
    series_buffer* b = string::buffer_of(s);
    unit = string::checked_unit(b);
    p = b->head_rw() + size_t(s->data1) * unit;
    length = string::length_from_head(s);
  }
  uint32_t at(uint32_t i) const { return string::get_char(p + size_t(i) * unit, unit); }
  uint32_t last() const { return at(write - 1); }
  void put(uint32_t c) { string::put_char(p + size_t(write++) * unit, unit, c); }
  void finish() {
    series_buffer* b = string::buffer_of(series);
    b->tail = static_cast<uint32_t>(p - b->data()) + write * unit;
  }
};

// Default trim: whitespace at the ends (/head, /tail: one end); with neither, spaces around
// inner line breaks go too, and a line break among the trailing whitespace is kept.
void trim_whitespace(cell* series, bool head, bool tail) {
  rewrite r(series);
  uint32_t start = 0, end = r.length;
  if (head || !tail)
    while (start < end && end_space(r.at(start))) ++start;
  bool trailing_break = false;
  if (tail || !head) {
    while (end > start && end_space(r.at(end - 1))) {
      if (r.at(end - 1) == '\n') trailing_break = true;
      --end;
    }
  }
  bool inner = !head && !tail;
  for (uint32_t i = start; i < end; ++i) {
    uint32_t c = r.at(i);
    if (inner && c == '\n') {
      while (r.write > 0 && inner_space(r.last())) --r.write;
      r.put('\n');
      while (i + 1 < end && inner_space(r.at(i + 1))) ++i;
      continue;
    }
    r.put(c);
  }
  if (inner && trailing_break) r.put('\n');
  r.finish();
}

// /lines: every run of whitespace becomes one space; none at the ends.
void trim_lines(cell* series) {
  rewrite r(series);
  bool gap = false;
  for (uint32_t i = 0; i < r.length; ++i) {
    uint32_t c = r.at(i);
    if (end_space(c)) {
      gap = r.write > 0;
      continue;
    }
    if (gap) r.put(' ');
    gap = false;
    r.put(c);
  }
  r.finish();
}

}  // namespace

void trim_chars(cell* series, const cell* with) {
  // The set: characters below 256 in a table; wider ones are the one char! given, or looked up
  // in the set's own text.
  std::bitset<256> narrow;
  string::text wide{nullptr, 1, 0};
  uint32_t one = 0xFFFFFFFF;
  if (!with) {
    for (char c : {'\t', '\n', '\r', ' '}) narrow.set(static_cast<uint8_t>(c));
  } else if (type_of(with) == type::char_ || type_of(with) == type::integer) {
    if (with->data2 < 256) {
      narrow.set(with->data2);
    } else {
      one = with->data2;
    }
  } else {
    wide = string::text_of(with);
    for (uint32_t i = 0; i < wide.length; ++i)
      if (wide.at(i) < 256) narrow.set(wide.at(i));
  }
  rewrite r(series);
  for (uint32_t i = 0; i < r.length; ++i) {
    uint32_t c = r.at(i);
    bool drop = c < 256 ? narrow.test(c) : c == one;
    for (uint32_t k = 0; !drop && c >= 256 && k < wide.length; ++k) drop = wide.at(k) == c;
    if (!drop) r.put(c);
  }
  r.finish();
}

cell* trim(cell* series, bool head, bool tail, bool auto_, bool lines, bool all, cell* with) {
  if (auto_ && !all && !with) fire(err::internal_not_done);
  auto at = static_cast<int32_t>(std::min(series->data1, string::absolute_length(series)));
  auto n = static_cast<int32_t>(string::length_from_head(series));
  bool owned = series::owned_before(series, series::change::trim, nullptr, at, n);
  if (all || with) {
    trim_chars(series, with);
  } else if (lines) {
    trim_lines(series);
  } else {
    trim_whitespace(series, head, tail);
  }
  if (owned) series::owned_after(series, series::change::trim, nullptr, at, n);
  return series;
}

}  // namespace kaz::string_type

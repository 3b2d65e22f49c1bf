// find and select in string-family series (and in binary! and vector!, which inherit them).
#include <algorithm>
#include <cstring>
#include <string>

#include "core/actions.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/integer.h"
#include "datatypes/scalar_types.h"
#include "datatypes/series_common.h"
#include "datatypes/string_actions.h"
#include "datatypes/vector.h"
#include "memory/unicode_units.h"
#include "memory/unicode_utf8.h"
#include "runtime/fire.h"

namespace kaz::string_type {

namespace {

// What one search compares: single units, bitset membership, vector elements, or a text
// pattern.
enum class kind : uint8_t { unit, bitset, element, text, nothing };

// A vector element as a number.
double vector_element(const uint8_t* p, uint32_t unit, uint32_t element_type) {
  cell e;
  element_value(p, unit, type::vector, element_type, &e);
  return type_of(&e) == type::float_ || type_of(&e) == type::percent
             ? get_double(&e)
             : double(static_cast<int32_t>(e.data2));
}

struct matcher {
  kind k = kind::nothing;
  bool folding = false;
  uint32_t c = 0;             // kind::unit: the unit (folded when folding)
  const cell* bitset = nullptr;
  double number = 0;          // kind::element
  uint32_t element_type = 0;
  std::string bytes;          // a text pattern held on the C++ side (UTF-8 for binary!)
  cell pattern{};             // a text pattern held in a series (text_of reads it)
  bool in_bytes = false;

  string::text pattern_text() const {
    if (in_bytes)
      return {reinterpret_cast<const uint8_t*>(bytes.data()), 1,
              static_cast<uint32_t>(bytes.size())};
    return string::text_of(&pattern);
  }
};

// The series being searched: its units from the buffer start.
struct haystack {
  const uint8_t* p;
  uint32_t unit;
  uint32_t element_type;  // vector!: of its elements
  uint32_t at(uint32_t i) const { return string::get_char(p + size_t(i) * unit, unit); }
};

using string::fold;

bool unit_matches(const matcher& m, const haystack& h, uint32_t i) {
  switch (m.k) {
    case kind::unit: {
      uint32_t c = h.at(i);
      return (m.folding ? fold(c) : c) == m.c;
    }
    case kind::bitset:
      return string::bitset_has(m.bitset, h.at(i));
    case kind::element:
      return vector_element(h.p + size_t(i) * h.unit, h.unit, h.element_type) == m.number;
    default:
      return false;
  }
}

// The pattern matches the text at i (all of it within `end`).
bool text_matches(const string::text& pat, bool folding, const haystack& h, uint32_t i,
                  uint32_t end) {
  if (end - i < pat.length) return false;
  for (uint32_t k = 0; k < pat.length; ++k) {
    uint32_t a = h.at(i + k), b = pat.at(k);
    if (a == b) continue;
    if (!folding || string::fold(a) != string::fold(b)) return false;
  }
  return true;
}

// The result of a search: where the match starts and ends (units from the buffer start).
struct found {
  bool hit;
  uint32_t start, end;
};

/*
 * The forward search for a text pattern of up to short_pattern units, the common case: the
 * pattern is read (and folded) once, and the text is scanned for its first unit before the
 * rest is compared. A unit matches where the general test (equal, or equal once both are
 * folded) would match it: the folded pattern unit equals the folded text unit.
 */
constexpr uint32_t short_pattern = 64;

template <uint32_t Unit, bool Folding>
found scan_short_text(const uint32_t* pat, uint32_t len, const haystack& h, uint32_t from,
                      uint32_t hi, uint32_t step) {
  auto at = [&h](uint64_t i) {
    uint32_t c = unicode::get_char(h.p + i * Unit, Unit);
    return Folding ? fold(c) : c;
  };
  const uint32_t first = pat[0];
  for (uint64_t i = from; i + len <= hi; i += step) {
    if constexpr (Unit == 1 && !Folding) {
      if (step == 1) {  // a byte search finds the candidates
        if (first > 0xFF) break;
        const void* q = std::memchr(h.p + i, int(first), hi - len + 1 - i);
        if (!q) break;
        i = static_cast<uint64_t>(static_cast<const uint8_t*>(q) - h.p);
      }
    }
    if (at(i) != first) continue;
    uint32_t k = 1;
    while (k < len && at(i + k) == pat[k]) ++k;
    if (k == len) {
      auto start = static_cast<uint32_t>(i);
      return {true, start, start + len};
    }
  }
  return {false, 0, 0};
}

template <bool Folding>
found scan_short_text(const uint32_t* pat, uint32_t len, const haystack& h, uint32_t from,
                      uint32_t hi, uint32_t step) {
  switch (h.unit) {
    case 1: return scan_short_text<1, Folding>(pat, len, h, from, hi, step);
    case 2: return scan_short_text<2, Folding>(pat, len, h, from, hi, step);
    default: return scan_short_text<4, Folding>(pat, len, h, from, hi, step);
  }
}

// Sets up the matcher for the value; false when nothing can match.
bool prepare(matcher& m, const cell* series, const cell* value, bool folding) {
  uint32_t st = type_of(series), vt = type_of(value);
  bool bytes = st == type::binary;
  m.folding = folding;
  if (st == type::vector) {
    if (vt != type::integer && vt != type::char_ && vt != type::float_ && vt != type::percent)
      return false;
    m.k = kind::element;
    m.number = vt == type::integer || vt == type::char_
                   ? double(static_cast<int32_t>(value->data2))
                   : get_double(value);
    return true;
  }
  if (vt == type::bitset) {
    m.k = kind::bitset;
    m.bitset = value;
    return true;
  }
  if (vt == type::char_ && !bytes) {
    m.k = kind::unit;
    m.c = folding ? string::fold(char_type::code_of(value)) : char_type::code_of(value);
    return true;
  }
  if (vt == type::integer && bytes) {
    int32_t b = integer_type::value_of(value);
    if (b < 0 || b > 255) return false;
    m.k = kind::unit;
    m.c = static_cast<uint32_t>(b);
    return true;
  }
  if (vt == type::float_ && bytes) {  // a byte's value compared as a number
    double d = get_double(value);
    if (!(d >= 0.0 && d <= 255.0) || d != static_cast<double>(static_cast<uint32_t>(d)))
      return false;
    m.k = kind::unit;
    m.c = static_cast<uint32_t>(d);
    return true;
  }
  if (vt == type::binary && !bytes) fire(err::script_invalid_arg, value);
  // A text pattern: a string-family value, a word's name, binary bytes, or the value formed.
  m.k = kind::text;
  if (vt == type::binary || (is_any_string(vt) && vt != type::tag)) {
    m.pattern = *value;
  } else if (is_any_word(vt)) {
    m.pattern = cell{type::string, 0, symbol::name_string(word::symbol_of(value)), 0};
  } else if (vt == type::char_) {
    uint8_t buf[4];
    uint32_t n = unicode::utf8_append_encoded(char_type::code_of(value), buf);
    m.bytes.assign(reinterpret_cast<const char*>(buf), n);
    m.in_bytes = true;
  } else {
    cell* formed = stack::reserve_cell();
    string::make_at(formed, 16);
    cell v = *value;
    actions::form(&v, formed, nullptr, 0x7FFFFFFF);
    m.pattern = *formed;
  }
  if (bytes && !m.in_bytes && type_of(&m.pattern) != type::binary) {
    m.bytes = string::to_utf8(&m.pattern);  // text searched in bytes: its UTF-8
    m.in_bytes = true;
  }
  return true;
}

struct range {
  uint32_t lo, hi;  // the match lies within [lo, hi)
  uint32_t first;   // first position tried (forward: a start; backward: a last unit)
  uint32_t origin;  // the series' head: backward, matches start on the record grid from it
  bool backward;
};

found scan(const matcher& m, const haystack& h, const range& r, uint32_t step, bool match_only) {
  string::text pat{};
  uint32_t len = 1;
  if (m.k == kind::text) {
    pat = m.pattern_text();
    len = pat.length;
    if (len == 0) return {false, 0, 0};  // an empty pattern finds nothing
    if (!r.backward && !match_only && len <= short_pattern) {
      uint32_t units[short_pattern];
      for (uint32_t k = 0; k < len; ++k) units[k] = m.folding ? fold(pat.at(k)) : pat.at(k);
      return m.folding ? scan_short_text<true>(units, len, h, r.first, r.hi, step)
                       : scan_short_text<false>(units, len, h, r.first, r.hi, step);
    }
  }
  if (!r.backward) {
    for (uint64_t p = r.first; p + len <= r.hi; p += step) {
      auto i = static_cast<uint32_t>(p);
      bool ok = m.k == kind::text ? text_matches(pat, m.folding, h, i, r.hi) : unit_matches(m, h, i);
      if (ok) return {true, i, i + len};
      if (match_only) break;
    }
    return {false, 0, 0};
  }
  // Backwards, on the grid of records that starts at the head (as for blocks): the last
  // record start at or before the latest position a match may begin.
  int64_t latest = int64_t(r.first) + 1 - len, d = latest - int64_t(r.origin);
  int64_t s = int64_t(step);
  int64_t first_start = int64_t(r.origin) + (d >= 0 ? d / s : -((-d + s - 1) / s)) * s;
  for (int64_t start = first_start; start >= r.lo; start -= s) {
    auto i = static_cast<uint32_t>(start);
    bool ok = m.k == kind::text ? text_matches(pat, m.folding, h, i, r.hi) : unit_matches(m, h, i);
    if (ok) return {true, i, i + len};
    if (match_only) break;
  }
  return {false, 0, 0};
}

// find and select share everything up to the match; answers whether one was found.
found search(cell* series, cell* value, cell* part, bool case_, bool same, bool any, cell* with,
             cell* skip, bool last, bool reverse, bool match) {
  // Wildcards are not supported.
  if (any || with) fire(err::internal_not_done);
  uint32_t st = type_of(series);
  uint32_t total = series::absolute_length(series);
  uint32_t head = std::min(series->data1, total);
  if (total == 0 || (head == total && !reverse)) return {false, 0, 0};
  uint32_t step = 1;
  if (skip) {
    if (type_of(skip) != type::integer) series::bad_refine_arg(series, "skip", skip);
    int32_t n = integer_type::value_of(skip);
    if (n < 1) fire(err::script_out_of_range, skip);
    step = static_cast<uint32_t>(n);
  }
  int64_t count = -1;
  if (part) {
    count = series::part_count(series, part);
    if (count < 1) return {false, 0, 0};
  }
  if (reverse && (match || head == 0)) return {false, 0, 0};
  bool folding = is_any_string(st) && !case_ && !same;
  matcher m;
  if (!prepare(m, series, value, folding)) return {false, 0, 0};

  range r{};
  if (reverse) {
    r.hi = head;
    r.lo = count < 0 ? 0 : static_cast<uint32_t>(std::max<int64_t>(0, int64_t(head) - count));
  } else {
    r.lo = head;
    r.hi = count < 0 ? total : static_cast<uint32_t>(std::min<int64_t>(total, head + count));
  }
  r.backward = last || reverse;
  r.first = r.backward ? r.hi - 1 : r.lo;
  r.origin = head;
  series_buffer* s = string::buffer_of(series);
  uint32_t unit = s->unit();
  if (st != type::vector && st != type::binary) unit = string::checked_unit(s);
  haystack h{s->head(), unit, st == type::vector ? vector::element_type_of(series) : 0};
  return scan(m, h, r, step, match);
}

}  // namespace

cell* find(cell* series, cell* value, cell* part, bool only, bool case_, bool same, bool any,
           cell* with, cell* skip, bool last, bool reverse, bool tail, bool match) {
  found f = search(series, value, part, case_, same, any, with, skip, last, reverse, match);
  if (!f.hit) {
    series->header = type::none;
    return series;
  }
  series->data1 = tail ? f.end : f.start;
  return series;
}

cell* select(cell* series, cell* value, cell* part, bool only, bool case_, bool same, bool any,
             cell* with, cell* skip, bool last, bool reverse) {
  found f = search(series, value, part, case_, same, any, with, skip, last, reverse, false);
  if (!f.hit || f.end >= series::absolute_length(series)) {
    series->header = type::none;
    return series;
  }
  cell element;
  element_at(series, f.end, &element);
  *series = element;
  return series;
}

}  // namespace kaz::string_type

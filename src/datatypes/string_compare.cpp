// Comparing strings, and the small matchers the parse engine uses at a string's head.
#include <algorithm>

#include "core/actions.h"
#include "core/string_storage.h"
#include "datatypes/bitset.h"
#include "datatypes/scalar_types.h"

namespace kaz::string {

namespace {

// An internal string type whose data3 limits its length (when not negative).
constexpr uint32_t limited_type = 56;

bool equality(int32_t op) {
  return op == actions::op::equal || op == actions::op::not_equal ||
         op == actions::op::strict_equal || op == actions::op::find;
}

}  // namespace

int32_t compare_strings(const cell* a, const cell* b, int32_t op, bool prefix) {
  bool same = type_of(a) != type::symbol && type_of(b) != type::symbol && a->data2 == b->data2 &&
              a->data1 == b->data1;
  if (op == actions::op::same) return same ? 0 : -1;
  if (same && equality(op)) return 0;
  text x = text_of(a);
  text y = text_of(b);
  if (type_of(b) == limited_type && static_cast<int32_t>(b->data3) >= 0)
    y.length = std::min(y.length, b->data3);
  uint32_t n;
  if (prefix) {
    if (y.length == 0) return op == actions::op::find ? 1 : 0;
    if (y.length > x.length) return 1;
    n = y.length;
  } else if (x.length != y.length) {
    if (equality(op) || y.length == 0) return 1;
    n = std::min(x.length, y.length);
  } else {
    n = x.length;
    if (n == 0) return 0;
  }
  bool folding = !(op == actions::op::strict_equal || op == actions::op::case_sort);
  // The first characters that differ decide (folded unless the comparison keeps case); texts of
  // one byte a character, the commonest, are read without the width switch.
  auto first_difference = [&](auto at_x, auto at_y) -> int32_t {
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t c1 = at_x(i), c2 = at_y(i);
      if (c1 == c2) continue;
      if (folding) {
        c1 = fold(c1);
        c2 = fold(c2);
        if (c1 == c2) continue;
      }
      return c1 > c2 ? 1 : -1;
    }
    return 0;
  };
  int32_t r = x.unit == 1 && y.unit == 1
                  ? first_difference([&](uint32_t i) -> uint32_t { return x.p[i]; },
                                     [&](uint32_t i) -> uint32_t { return y.p[i]; })
                  : first_difference([&](uint32_t i) { return x.at(i); },
                                     [&](uint32_t i) { return y.at(i); });
  if (r) return r;
  if (prefix) return 0;
  return x.length > y.length ? 1 : x.length == y.length ? 0 : -1;
}

bool tag_brackets_at_q(const cell* s, const cell* tag) {
  text t = text_of(s);
  uint32_t n = length_from_head(tag);
  return t.length >= n + 2 && t.at(0) == '<' && t.at(n + 1) == '>';
}

bool match_at_head_q(const cell* s, const cell* pattern, int32_t op) {
  uint32_t pt = type_of(pattern);
  if (pt == type::char_) {
    text t = text_of(s);
    if (t.length == 0) return false;
    uint32_t c = t.at(0), p = char_type::code_of(pattern);
    return op == actions::op::strict_equal ? c == p : fold(c) == fold(p);
  }
  if (pt == type::tag) {
    if (!tag_brackets_at_q(s, pattern)) return false;
    cell after = *s;
    after.data1 = std::min(s->data1, absolute_length(s)) + 1;
    return compare_strings(&after, pattern, op, true) == 0;
  }
  if (!is_any_string(pt)) return false;
  return compare_strings(s, pattern, op, true) == 0;
}

bool bitset_has(const cell* bitset, uint32_t c) {
  series_buffer* b = memory::buffer_of(bitset_type::node_of(bitset));
  uint64_t bits = uint64_t(b->used_bytes()) * 8;
  if (c >= bits) return (b->flags & series_flag::complement) != 0;
  return (b->head()[c >> 3] & (0x80 >> (c & 7))) != 0;
}

bool head_char_in_bitset_q(const cell* s, const cell* bitset) {
  text t = text_of(s);
  return t.length > 0 && bitset_has(bitset, t.at(0));
}

}  // namespace kaz::string

// The string side of the set natives: unique, union, intersect, exclude and difference over
// characters (or over records of /skip characters, known by their first one).
#include <algorithm>
#include <vector>

#include "core/stack.h"
#include "core/string_storage.h"
#include "datatypes/integer.h"
#include "datatypes/series_common.h"
#include "datatypes/string_actions.h"

namespace kaz::string_type {

namespace {

// Code points met, one bit each.
class char_set {
 public:
  explicit char_set(uint32_t max) : bits_((size_t(max) >> 6) + 1) {}
  bool has(uint32_t c) const { return (bits_[c >> 6] >> (c & 63)) & 1; }
  void add(uint32_t c) { bits_[c >> 6] |= uint64_t(1) << (c & 63); }

 private:
  std::vector<uint64_t> bits_;
};

// The largest key among the first units of the records.
uint32_t largest_key(const string::text& t, uint32_t step, bool folding) {
  uint32_t m = 0;
  for (uint32_t i = 0; i < t.length; i += step) m = std::max(m, folding ? string::fold(t.at(i)) : t.at(i));
  return m;
}

}  // namespace

cell* set_operation(bool case_, cell* skip, int32_t op) {
  cell* a = stack::arguments;
  cell* b = a + 1;
  uint32_t step = 1;
  if (skip) {
    if (type_of(skip) != type::integer || integer_type::value_of(skip) < 1)
      series::bad_refine_arg(a, "skip", skip);
    step = static_cast<uint32_t>(integer_type::value_of(skip));
  }
  bool second = op != set_op::unique;
  bool both_passes = op == set_op::union_ || op == set_op::difference;
  bool folding = !case_ && is_any_string(type_of(a));
  uint32_t la = string::length_from_head(a);
  uint32_t lb = second ? string::length_from_head(b) : 0;
  uint32_t unit = string::checked_unit(string::buffer_of(a));
  if (both_passes) unit = std::max(unit, string::checked_unit(string::buffer_of(b)));
  cell* out = stack::reserve_cell();
  string::init_cell_with_unit(out, std::max<uint32_t>(la + (both_passes ? lb : 0), 1), unit,
                              type_of(a));

  // Nothing allocates from here on: the texts stay where they are.
  string::text ta = string::text_of(a);
  string::text tb = second ? string::text_of(b) : string::text{ta.p, ta.unit, 0};
  auto key = [folding](uint32_t c) { return folding ? string::fold(c) : c; };
  uint32_t max = std::max(largest_key(ta, step, folding), largest_key(tb, step, folding));
  char_set in_a(max), in_b(max), taken(max);
  for (uint32_t i = 0; i < ta.length; i += step) in_a.add(key(ta.at(i)));
  for (uint32_t i = 0; i < tb.length; i += step) in_b.add(key(tb.at(i)));

  series_buffer* o = string::buffer_of(out);
  uint8_t* w = o->head_rw();
  auto pass = [&](const string::text& t, const char_set& other) {
    for (uint32_t i = 0; i < t.length; i += step) {
      uint32_t k = key(t.at(i));
      if (op == set_op::intersect && !other.has(k)) continue;
      if ((op == set_op::exclude || op == set_op::difference) && other.has(k)) continue;
      if (taken.has(k)) continue;
      taken.add(k);
      uint32_t n = std::min(step, t.length - i);
      string::copy_units(t.p + size_t(i) * t.unit, t.unit, w, unit, n);
      w += size_t(n) * unit;
    }
  };
  pass(ta, in_b);
  if (both_passes) pass(tb, in_a);
  o->tail = static_cast<uint32_t>(w - o->data());

  a->data1 = 0;
  a->data2 = out->data2;
  a->data3 = 0;
  stack::top = a + 1;
  return a;
}

}  // namespace kaz::string_type

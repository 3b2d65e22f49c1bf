// sort of string-family series (and of binary! and vector!, which inherit it): the unit
// comparators and the call of a user's comparison function.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/context.h"
#include "core/evaluator.h"
#include "core/exit_in_flight.h"
#include "core/function.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "datatypes/integer.h"
#include "datatypes/series_common.h"
#include "datatypes/simple_types.h"
#include "datatypes/string_actions.h"
#include "datatypes/vector.h"
#include "memory/sort.h"
#include "runtime/fire.h"

namespace kaz::string_type {

namespace {

/*
 * Comparator flags: bit 0 reverses the order; with bit 1 the whole record (flags >> 2 units) is
 * compared, else the one unit at offset flags >> 2. The `op` argument of the sort callbacks
 * carries the case-sensitive flag. Text folds to upper case at every unit width, so a
 * case-insensitive sort orders the same text the same way whatever its storage.
 */
constexpr uint32_t reversed = 1;
constexpr uint32_t whole_record = 2;

inline int ordered(int d, uint32_t flags) { return flags & reversed ? -d : d; }

template <class Read>
int compare_records(const uint8_t* x, const uint8_t* y, uint32_t unit, uint32_t flags, Read read) {
  uint32_t count = flags & whole_record ? flags >> 2 : 1;
  size_t at = flags & whole_record ? 0 : size_t(flags >> 2) * unit;
  for (uint32_t i = 0; i < count; ++i, at += unit) {
    int d = read(x + at, y + at);
    if (d != 0) return ordered(d, flags);
  }
  return 0;
}

using string::fold;

template <uint32_t Unit>
int compare_units(const uint8_t* x, const uint8_t* y, int32_t case_sensitive, uint32_t flags) {
  return compare_records(x, y, Unit, flags, [case_sensitive](const uint8_t* a, const uint8_t* b) {
    uint32_t c = string::get_char(a, Unit), d = string::get_char(b, Unit);
    if (c != d && !case_sensitive) {
      c = fold(c);
      d = fold(d);
    }
    return c < d ? -1 : c > d ? 1 : 0;
  });
}

// vector! elements: integers are signed, floats unordered against NaN count as equal.
template <class T>
int compare_numbers(const uint8_t* x, const uint8_t* y, int32_t, uint32_t flags) {
  return compare_records(x, y, sizeof(T), flags, [](const uint8_t* a, const uint8_t* b) {
    T c, d;
    std::memcpy(&c, a, sizeof(T));
    std::memcpy(&d, b, sizeof(T));
    return c < d ? -1 : c > d ? 1 : 0;
  });
}

sort::compare_fn unit_comparator(uint32_t series_type, uint32_t element_type, uint32_t unit) {
  if (series_type == type::vector) {
    if (element_type == type::float_ || element_type == type::percent)
      return unit == 4 ? compare_numbers<float> : compare_numbers<double>;
    return unit == 1 ? compare_numbers<int8_t>
         : unit == 2 ? compare_numbers<int16_t>
                     : compare_numbers<int32_t>;
  }
  return unit == 1 ? compare_units<1> : unit == 2 ? compare_units<2> : compare_units<4>;
}

// ---------------------------------------------------------------------------------------------
// A user's comparison function.

/*
 * The function is called with two values, the second record's first, so that a function
 * answering "its first argument sorts first" (true, or a negative number) orders the records
 * naturally. With /all and /skip it gets each whole record as a series of the sorted type.
 * The comparison of the sort that runs now is described by `current`; a function that sorts
 * in turn replaces it for its own sort, which puts it back.
 */
struct function_sort {
  uint32_t fn_index;      // the function: its stack position (the sort's argument)
  uint32_t series_type;
  uint32_t element_type;  // vector!
  uint32_t unit;
  uint32_t record;        // units a record has, when whole records are passed
};
function_sort* current = nullptr;

// Pushes one record as the function's argument.
void push_record(const function_sort& f, const uint8_t* p) {
  cell* c = stack::reserve_cell();
  if (f.record > 0) {
    node_t node = memory::alloc_units(f.record, f.unit);
    series_buffer* s = memory::buffer_of(node);
    std::memcpy(s->head_rw(), p, size_t(f.record) * f.unit);
    s->tail = s->offset + f.record * f.unit;
    *c = cell{f.series_type, 0, node, f.series_type == type::vector ? f.element_type : 0};
    return;
  }
  element_value(p, f.unit, f.series_type, f.element_type, c);
}

int call_comparator(const uint8_t* x, const uint8_t* y, int32_t, uint32_t flags) {
  const function_sort& f = *current;
  stack::saved_state saved = stack::save();
  cell name;
  context::intern_global(symbol::make("<compare-callback>"), &name);
  stack::open_interpreted_function_frame(&name);
  bool rev = flags & reversed;
  push_record(f, rev ? x : y);
  push_record(f, rev ? y : x);
  cell fn = *stack::at_index(f.fn_index);
  flow r = evaluator::call_with_arguments(&fn, &name);
  if (r != flow::normal) {
    stack::unwind_to(saved);
    raise_exit(r);  // on across the sort toward its target
  }
  cell result = *stack::arguments;
  stack::unwind_to(saved);
  switch (type_of(&result)) {
    case type::logic:
      return logic_type::value_of(&result) ? 1 : -1;
    case type::integer: {
      auto n = integer_type::value_of(&result);
      return n > 0 ? -1 : n < 0 ? 1 : 0;
    }
    case type::float_: {
      double d = get_double(&result);
      return d > 0.0 ? -1 : d < 0.0 ? 1 : 0;
    }
    case type::none:
      return -1;
    default:
      return 1;
  }
}

/*
 * Sorting through a function sorts a copy of the records outside the series: the function may
 * run any code, even change the series, while the sort holds positions in what it sorts. The
 * sorted records are written back afterwards, as far as the series still reaches.
 */
void sort_through_function(cell* series, uint32_t head, uint32_t count, uint32_t record,
                           const function_sort& f, uint32_t flags, bool stable) {
  size_t w = size_t(record) * f.unit;
  series_buffer* s = string::buffer_of(series);
  std::vector<uint8_t> copy(s->head() + size_t(head) * f.unit,
                            s->head() + size_t(head) * f.unit + w * count);
  struct current_guard {  // the sort that runs now, put back however this one ends
    function_sort* outer = current;
    explicit current_guard(function_sort* f) { current = f; }
    ~current_guard() { current = outer; }
  };
  function_sort state = f;
  {
    current_guard guard(&state);
    if (stable) {
      sort::merge_sort(copy.data(), count, w, 0, flags, call_comparator);
    } else {
      sort::in_place(copy.data(), count, w, 0, flags, call_comparator);
    }
  }
  s = string::buffer_of(series);
  uint32_t unit = s->unit();
  uint32_t length = s->length();
  if (head >= length) return;
  size_t n = std::min<size_t>(size_t(count) * record, length - head);
  if (unit == f.unit) {
    std::memcpy(s->head_rw() + size_t(head) * unit, copy.data(), n * unit);
  } else {  // the function widened the text meanwhile
    string::copy_units(copy.data(), f.unit, s->head_rw() + size_t(head) * unit, unit, n);
  }
}

}  // namespace

cell* sort(cell* series, bool case_, cell* skip, cell* comparator, cell* part, bool all,
           bool reverse, bool stable) {
  uint32_t t = type_of(series);
  // A vector of 64-bit elements has a unit no text has: count through the series layer.
  uint32_t total = series::absolute_length(series);
  uint32_t head = std::min(series->data1, total);
  uint32_t n = total - head;
  if (part) {
    int32_t c = series::part_count(series, part);
    if (c < 0) {
      uint32_t back = static_cast<uint32_t>(-int64_t(c));
      if (back > head) {
        series->data1 = 0;
        return series;
      }
      head -= back;
      series->data1 = head;
      n = back;
    } else {
      n = std::min(n, static_cast<uint32_t>(c));
    }
  }
  if (n == 0) return series;
  uint32_t record = 1;
  if (skip) {
    int32_t k = type_of(skip) == type::integer ? integer_type::value_of(skip) : 0;
    if (k < 1 || n % static_cast<uint32_t>(k) != 0 || n < static_cast<uint32_t>(k))
      series::bad_refine_arg(series, "skip", skip);
    record = static_cast<uint32_t>(k);
  } else if (all) {
    fire(err::script_bad_refines);
  }
  uint32_t flags = reverse ? reversed : 0;
  bool by_function = false;
  if (!comparator) {
    flags |= all && skip ? whole_record | (record << 2) : 0;
  } else if (function::is_any_function(type_of(comparator))) {
    by_function = true;
  } else if (type_of(comparator) == type::integer) {
    if (!skip || all) fire(err::script_bad_refines);
    auto k = integer_type::value_of(comparator);
    if (k < 1 || static_cast<uint32_t>(k) > record) fire(err::script_out_of_range, comparator);
    flags |= static_cast<uint32_t>(k - 1) << 2;
  } else {
    series::bad_refine_arg(series, "compare", comparator);
  }
  series_buffer* s = string::buffer_of(series);
  uint32_t unit = t == type::vector || t == type::binary ? s->unit() : string::checked_unit(s);
  uint32_t element_type = t == type::vector ? vector::element_type_of(series) : 0;
  uint32_t count = n / record;
  bool owned = series::owned_before(series, series::change::sort, nullptr,
                                    static_cast<int32_t>(head), static_cast<int32_t>(n));
  // An owner's handler may have shortened or widened the series: then nothing is sorted.
  s = string::buffer_of(series);
  if (head + n <= series::absolute_length(series) && s->unit() == unit) {
    if (by_function) {
      cell* held = stack::push(comparator);  // the function stays on the stack while it runs
      function_sort f{stack::index_of(held), t, element_type, unit, all && skip ? record : 0};
      sort_through_function(series, head, count, record, f, flags, stable);
    } else {
      // Text folds case unless /case; bytes and vector elements never do.
      int32_t case_sensitive = case_ || t == type::binary || t == type::vector;
      sort::compare_fn cb = unit_comparator(t, element_type, unit);
      uint8_t* base = s->head_rw() + size_t(head) * unit;
      size_t w = size_t(record) * unit;
      if (stable) {
        sort::merge_sort(base, count, w, case_sensitive, flags, cb);
      } else {
        sort::in_place(base, count, w, case_sensitive, flags, cb);
      }
    }
  }
  if (owned)
    series::owned_after(series, series::change::sort, nullptr, static_cast<int32_t>(head),
                        static_cast<int32_t>(n));
  return series;
}

}  // namespace kaz::string_type

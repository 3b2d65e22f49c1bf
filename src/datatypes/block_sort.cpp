// block! sorting: records of one or more cells, by the datatypes' order or by a comparison
// function.
#include <algorithm>
#include <cstring>

#include "core/actions.h"
#include "core/block_storage.h"
#include "core/context.h"
#include "core/evaluator.h"
#include "core/exit_in_flight.h"
#include "core/function.h"
#include "core/stack.h"
#include "core/string_storage.h"
#include "core/symbol.h"
#include "datatypes/block_actions.h"
#include "datatypes/integer.h"
#include "datatypes/series_common.h"
#include "datatypes/simple_types.h"
#include "memory/sort.h"
#include "runtime/fire.h"

namespace kaz::block_type {

namespace {

// What the comparison callbacks need to know of the running sort. It lives in the sort's own
// frame (the cells in it are seen by the native-stack scan); a comparison function may sort
// too, so the previous one is restored when a sort ends.
struct sort_context {
  uint32_t skip = 1;    // cells per record
  uint32_t offset = 0;  // the key cell within a record
  bool all = false;     // compare whole records
  bool reverse = false;
  cell function{type::none, 0, 0, 0};
  cell records[2];      // blocks that hand whole records to a comparison function
};

sort_context* current = nullptr;

struct current_sort {
  sort_context* saved;
  explicit current_sort(sort_context* c) : saved(current) { current = c; }
  ~current_sort() { current = saved; }
};

// Cells from a and b on, n of them, by the datatypes' compare slots; incomparable cells order
// by their datatypes.
[[gnu::noinline]] int slot_order(const cell* a, const cell* b, uint32_t n, int32_t op) {
  for (uint32_t i = 0; i < n; ++i) {
    // Two string! values, the commonest keys after integers, as string!'s compare slot does.
    int32_t r = type_of(a + i) == type::string && type_of(b + i) == type::string
                    ? string::compare_strings(a + i, b + i, op, false)
                    : actions::compare_direct(a + i, b + i, op);
    if (r == -2) r = type_order(type_of(a + i), type_of(b + i));
    if (r != 0) return r;
  }
  return 0;
}

// Records by their cells. Integers, the commonest keys, compare here as integer!'s compare slot
// orders them; the first cell of another kind goes through the slots, out of line, so that the
// integer path stays a leaf.
int cell_order(const uint8_t* x, const uint8_t* y, int32_t op, uint32_t) {
  const sort_context& c = *current;
  const cell* a = reinterpret_cast<const cell*>(x) + (c.all ? 0 : c.offset);
  const cell* b = reinterpret_cast<const cell*>(y) + (c.all ? 0 : c.offset);
  if (c.reverse) std::swap(a, b);
  uint32_t n = c.all ? c.skip : 1;
  for (uint32_t i = 0; i < n; ++i) {
    if (type_of(a + i) != type::integer || type_of(b + i) != type::integer)
      return slot_order(a + i, b + i, n - i, op);
    int32_t p = integer_type::value_of(a + i), q = integer_type::value_of(b + i);
    if (p != q) return p < q ? -1 : 1;
  }
  return 0;
}

// A record handed to the comparison function as a block of its cells.
void fill_record(cell* record, const cell* cells, uint32_t n) {
  series_buffer* s = block::buffer_of(record);
  std::memcpy(s->cells_rw(), cells, size_t(n) * 16);
  s->tail = s->offset + n * 16;
}

void call_compare_func(const cell* a, const cell* b, const cell* function, cell* answer);

int function_order(const uint8_t* x, const uint8_t* y, int32_t, uint32_t) {
  sort_context& c = *current;
  const cell* a = reinterpret_cast<const cell*>(x);
  const cell* b = reinterpret_cast<const cell*>(y);
  cell first, second;
  if (c.all && c.skip > 1) {
    fill_record(&c.records[0], a, c.skip);
    fill_record(&c.records[1], b, c.skip);
    first = c.records[0];
    second = c.records[1];
  } else {
    first = *a;
    second = *b;
  }
  if (c.reverse) std::swap(first, second);
  cell fn = c.function;
  // The function is asked whether the second sorts before the first: a strict less-than then
  // answers false for equal records, which keeps them in their order in a stable sort.
  // Other answers (none!, ...) keep the first record first.
  cell answer;
  call_compare_func(&second, &first, &fn, &answer);
  uint32_t t = type_of(&answer);
  if (t != type::logic && t != type::integer && t != type::float_) return -1;
  int32_t order = comparator_order(&answer);
  return order > 0 ? -1 : order < 0 ? 1 : 0;
}

uint32_t callback_symbol = 0;

// An empty block of room for n cells on the stack.
cell* scratch_block(uint32_t n) { return block::push_only(n ? n : 1); }

// Sorting with a comparison function works on a copy: the function may change or grow the
// series (and collect) while the sort runs, and can then only lose its own changes.
void sort_copy(cell* series, uint32_t head, uint32_t count, uint32_t records, size_t width,
               bool stable, int32_t op, sort_context& ctx) {
  cell* base_cell = stack::top;
  cell* copy = scratch_block(count);
  {
    series_buffer* to = block::buffer_of(copy);
    std::memcpy(to->cells_rw(), block::buffer_of(series)->cells() + head, size_t(count) * 16);
    to->tail = to->offset + count * 16;
  }
  cell* work = stable ? scratch_block(static_cast<uint32_t>(
                            sort::merge_sort_work_bytes(records, width) / 16 + 1))
                      : nullptr;
  if (ctx.all && ctx.skip > 1) {
    ctx.records[0] = *scratch_block(ctx.skip);
    ctx.records[1] = *scratch_block(ctx.skip);
  }
  uint8_t* base = reinterpret_cast<uint8_t*>(block::buffer_of(copy)->cells_rw());
  if (stable)
    sort::merge_sort(base, records, width, op, 0, function_order,
                     reinterpret_cast<uint8_t*>(block::buffer_of(work)->cells_rw()));
  else
    sort::in_place(base, records, width, op, 0, function_order);
  // Back into the series, as far as it still reaches.
  uint32_t len = block::absolute_length(series);
  uint32_t n = head < len ? std::min(count, len - head) : 0;
  std::memcpy(block::buffer_of(series)->cells_rw() + head, block::buffer_of(copy)->cells(),
              size_t(n) * 16);
  stack::top = base_cell;
}

// Single cells that are all integers (the commonest sort) are ordered by their values with the
// comparison inline; false where the cells are of other kinds.
bool sort_integers(cell* cells, uint32_t count, bool stable, bool reverse) {
  for (uint32_t i = 0; i < count; ++i)
    if (type_of(cells + i) != type::integer) return false;
  auto by_value = [reverse](const cell& a, const cell& b) {
    int32_t p = integer_type::value_of(&a), q = integer_type::value_of(&b);
    return reverse ? q < p : p < q;
  };
  if (stable)
    std::stable_sort(cells, cells + count, by_value);
  else
    std::sort(cells, cells + count, by_value);
  return true;
}

void sort_in_buffer(cell* series, uint32_t head, uint32_t records, size_t width, bool stable,
                    int32_t op) {
  if (width == sizeof(cell) &&
      sort_integers(block::buffer_of(series)->cells_rw() + head, records, stable, current->reverse))
    return;
  // The datatypes' compare slots may allocate (a word's name string is made at its first
  // comparison), and so collect: the records are sorted in a copy and written back at once, so
  // that no writable pointer into the series is held across a collection (rule 5).
  cell* base_cell = stack::top;
  uint32_t count = static_cast<uint32_t>(records * (width / sizeof(cell)));
  cell* copy = scratch_block(count);
  {
    series_buffer* to = block::buffer_of(copy);
    std::memcpy(to->cells_rw(), block::buffer_of(series)->cells() + head, size_t(count) * 16);
    to->tail = to->offset + count * 16;
  }
  cell* work = stable ? scratch_block(static_cast<uint32_t>(
                            sort::merge_sort_work_bytes(records, width) / 16 + 1))
                      : nullptr;
  uint8_t* base = reinterpret_cast<uint8_t*>(block::buffer_of(copy)->cells_rw());
  if (stable)
    sort::merge_sort(base, records, width, op, 0, cell_order,
                     reinterpret_cast<uint8_t*>(block::buffer_of(work)->cells_rw()));
  else
    sort::in_place(base, records, width, op, 0, cell_order);
  uint32_t len = block::absolute_length(series);
  uint32_t n = head < len ? std::min(count, len - head) : 0;
  std::memcpy(block::buffer_of(series)->cells_rw() + head, block::buffer_of(copy)->cells(),
              size_t(n) * 16);
  stack::top = base_cell;
}

}  // namespace

int32_t comparator_order(const cell* answer) {
  switch (type_of(answer)) {
    case type::logic:
      return logic_type::value_of(answer) == 1 ? -1 : 1;
    case type::integer:
      return integer_type::value_of(answer);
    case type::float_: {
      double d = get_double(answer);
      return d > 0.0 ? 1 : d < 0.0 ? -1 : 0;
    }
    default:
      return -1;
  }
}

namespace {

// Calls the comparison function with a and b; its answer goes into `answer`.
void call_compare_func(const cell* a, const cell* b, const cell* function, cell* answer) {
  if (!callback_symbol) callback_symbol = symbol::make("<compare-callback>");
  cell fn = *function;
  cell name;
  context::intern_global(callback_symbol, &name);
  stack::saved_state saved = stack::save();
  stack::open_interpreted_function_frame(&name);
  stack::push(a);
  stack::push(b);
  flow f = evaluator::call_with_arguments(&fn, &name);
  *answer = *stack::arguments;
  stack::unwind_to(saved);
  // An exit crosses the sort toward its target; the sort leaves every value in the series.
  raise_exit(f);
}

}  // namespace

int32_t sort_compare_func(const cell* a, const cell* b, const cell* function) {
  cell answer;
  call_compare_func(a, b, function, &answer);
  return comparator_order(&answer);
}

cell* sort(cell* series, bool case_, cell* skip, cell* comparator, cell* part, bool all,
           bool reverse, bool stable) {
  uint32_t n = block::length_from_head(series);
  if (n == 0) return series;
  if (part) {
    int32_t c = series::part_count(series, part);
    if (c < 0) {
      uint32_t back = static_cast<uint32_t>(-int64_t(c));
      if (back > series->data1) {
        series->data1 = 0;
        return series;
      }
      series->data1 -= back;
      n = back;
    } else if (static_cast<uint32_t>(c) < n) {
      n = static_cast<uint32_t>(c);
    }
    if (n == 0) return series;
  }
  sort_context ctx;
  if (skip) {
    if (type_of(skip) != type::integer) series::bad_refine_arg("skip", skip);
    auto k = integer_type::value_of(skip);
    if (k < 1 || static_cast<uint32_t>(k) > n || n % static_cast<uint32_t>(k) != 0)
      series::bad_refine_arg("skip", skip);
    ctx.skip = static_cast<uint32_t>(k);
  }
  if (all && !skip) fire(err::script_bad_refines);
  ctx.all = all;
  ctx.reverse = reverse;
  bool by_function = false;
  if (comparator) {
    uint32_t t = type_of(comparator);
    if (function::is_any_function(t)) {
      cell fn = *comparator;
      if (function::arity(&fn) != 2) series::bad_refine_arg("compare", comparator);
      ctx.function = fn;
      by_function = true;
    } else if (t == type::integer) {
      if (!skip || all) fire(err::script_bad_refines);
      auto k = integer_type::value_of(comparator);
      if (k < 1 || static_cast<uint32_t>(k) > ctx.skip) fire(err::script_out_of_range, comparator);
      ctx.offset = static_cast<uint32_t>(k - 1);
    } else {
      series::bad_refine_arg("compare", comparator);
    }
  }
  int32_t op = case_ ? actions::op::case_sort : actions::op::sort;
  uint32_t head = series->data1;
  uint32_t records = n / ctx.skip;
  size_t width = size_t(ctx.skip) * 16;
  bool owned = series::owned_before(series, series::change::sort, nullptr,
                                    static_cast<int32_t>(head), static_cast<int32_t>(n));
  // An owner's handler may have shortened the series: then nothing is sorted.
  if (head + n <= block::absolute_length(series)) {
    current_sort running(&ctx);
    if (by_function)
      sort_copy(series, head, n, records, width, stable, op, ctx);
    else
      sort_in_buffer(series, head, records, width, stable, op);
  }
  if (owned)
    series::owned_after(series, series::change::sort, nullptr, static_cast<int32_t>(head),
                        static_cast<int32_t>(n));
  return series;
}

}  // namespace kaz::block_type

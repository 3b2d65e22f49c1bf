// The `parse` native: its refinements turned into the engine's comparison, limit and callback.
#include <cmath>

#include "core/scalar_cell.h"
#include "eval/natives.h"
#include "eval/parse.h"
#include "eval/parse_internal.h"
#include "runtime/fire.h"

namespace kaz::natives {

namespace {

// Units from the series' index to its tail.
uint32_t remaining(const cell* s) {
  series_buffer* b = memory::buffer_of(series::node_of(s));
  uint32_t t = type_of(s);
  uint32_t tail = is_any_block(t) ? b->used_bytes() / uint32_t(sizeof(cell))
                  : t == type::binary ? b->used_bytes()
                                      : b->tail / b->unit();
  return series::index_of(s) < tail ? tail - series::index_of(s) : 0;
}

// The /part length as a count of units from the input's index.
int64_t part_count(const cell* input, const cell* length) {
  switch (type_of(length)) {
    case type::integer:
      return integer_type::value_of(length);
    case type::float_:
    case type::percent: {
      double d = std::trunc(get_double(length));
      return d > 2147483647.0 ? 2147483647 : d < -2147483648.0 ? -2147483648LL : int64_t(d);
    }
    default:
      if (type_of(length) != type_of(input) || series::node_of(length) != series::node_of(input)) {
        cell word, value = *length;
        parse::word_named("part", &word);
        fire(err::script_invalid_refine_arg, &word, &value);
      }
      return int64_t(series::index_of(length)) - int64_t(series::index_of(input));
  }
}

}  // namespace

flow parse(const int32_t* refs) {
  cell input = stack::arguments[0];
  cell rules = stack::arguments[1];
  int32_t op = refs[0] >= 0 ? 2 : 0;
  int32_t limit = -1;
  if (refs[1] >= 0) {
    int64_t n = part_count(&input, stack::arguments + refs[1]);
    if (n < 1) {  // nothing to match: the rules do not run
      cell empty{type::logic, remaining(&input) == 0 ? 1u : 0u, 0, 0};
      stack::set_result_only(&empty);
      return flow::normal;
    }
    int64_t end = int64_t(series::index_of(&input)) + n;
    limit = end > INT32_MAX ? INT32_MAX : int32_t(end);
  }
  cell callback;
  if (refs[2] >= 0) callback = stack::arguments[refs[2]];
  flow f = parse::process_rules(&input, &rules, op, limit, refs[2] >= 0 ? &callback : nullptr);
  if (f != flow::normal) return f;
  stack::set_result_only(stack::last_value());
  return flow::normal;
}

}  // namespace kaz::natives

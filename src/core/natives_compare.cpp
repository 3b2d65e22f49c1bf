// Comparison and logic natives: the seven comparisons, same?, not, type?.
#include "core/actions.h"
#include "core/context.h"
#include "core/natives.h"
#include "core/symbol.h"
#include "core/truth.h"
#include "datatypes/registry.h"

namespace kaz::natives {

namespace {

flow compare_values(int32_t op) {
  bool r = actions::compare(stack::arguments, stack::arguments + 1, op);
  cell v{type::logic, r ? 1u : 0u, 0, 0};
  stack::set_result_only(&v);
  return flow::normal;
}

bool same(const cell* a, const cell* b) {
  uint32_t t = type_of(a);
  if (t != type_of(b)) return false;
  switch (t) {
    case type::datatype_:
    case type::logic:
    case type::object:
      return a->data1 == b->data1;
    case type::char_:
    case type::integer:
    case type::bitset:
      return a->data2 == b->data2;
    case type::float_:
    case type::percent:
    case type::pair:
    case type::time:
    case type::op:
      return a->data2 == b->data2 && a->data3 == b->data3;
    case type::none:
    case type::unset:
      return true;
    case type::native:
    case type::action:
    case type::point2d:
      return a->data1 == b->data1 && a->data2 == b->data2;
    case type::tuple:
    case type::money:
      return actions::compare_direct(a, b, actions::op::strict_equal) == 0;
    default:
      if (is_any_block(t) || is_any_string(t) || t == type::binary || t == type::vector ||
          t == type::image)
        return a->data2 == b->data2 && a->data1 == b->data1;
      return a->data1 == b->data1 && a->data2 == b->data2 && a->data3 == b->data3;
  }
}

}  // namespace

flow equal_q(const int32_t*) { return compare_values(actions::op::equal); }
flow not_equal_q(const int32_t*) { return compare_values(actions::op::not_equal); }
flow strict_equal_q(const int32_t*) { return compare_values(actions::op::strict_equal); }
flow lesser_q(const int32_t*) { return compare_values(actions::op::lesser); }
flow greater_q(const int32_t*) { return compare_values(actions::op::greater); }
flow lesser_or_equal_q(const int32_t*) { return compare_values(actions::op::lesser_or_equal); }
flow greater_or_equal_q(const int32_t*) {
  return compare_values(actions::op::greater_or_equal);
}

flow same_q(const int32_t*) {
  bool r = same(stack::arguments, stack::arguments + 1);
  cell v{type::logic, r ? 1u : 0u, 0, 0};
  stack::set_result_only(&v);
  return flow::normal;
}

flow not_(const int32_t*) {
  cell v{type::logic, is_false(stack::arguments) ? 1u : 0u, 0, 0};
  stack::set_result_only(&v);
  return flow::normal;
}

flow type_q(const int32_t* refs) {
  uint32_t t = type_of(stack::arguments);
  cell v;
  if (refs[0] >= 0) {
    context::intern_global(symbol::make(registry::name(t)), &v);
  } else {
    v = cell{type::datatype_, t, 0, 0};
  }
  stack::set_result_only(&v);
  return flow::normal;
}

}  // namespace kaz::natives

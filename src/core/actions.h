// Generic entry points of the actions: dispatch on the datatype of the first argument.
#pragma once

#include <cstdint>

#include "core/registry.h"
#include "runtime/cell.h"

namespace kaz::actions {

// Comparison operations.
namespace op {
constexpr int32_t equal = 0;
constexpr int32_t not_equal = 1;
constexpr int32_t strict_equal = 2;
constexpr int32_t lesser = 3;
constexpr int32_t lesser_or_equal = 4;
constexpr int32_t greater = 5;
constexpr int32_t greater_or_equal = 6;
constexpr int32_t sort = 7;
constexpr int32_t case_sort = 8;
constexpr int32_t same = 9;
constexpr int32_t find = 12;
}  // namespace op

// The compare slot's raw answer (0 equal, order, or -2 not comparable).
int32_t compare_direct(const cell* a, const cell* b, int32_t op);
// The compare action as a truth value; -2 under an ordering raises invalid-compare.
bool compare(const cell* a, const cell* b, int32_t op);

// form and mold of any value onto the end of a string! buffer (the node of its buffer); answer
// the budget left.
int32_t form(const cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(const cell* value, cell* buffer, bool only, bool all, bool flat, cell* part,
             int32_t limit, int32_t indent);

// Raises expect-arg for an action slot that the value's datatype does not support (the name of
// the running call, the value's datatype, the action's first argument word).
[[noreturn]] void unsupported(const cell* value, uint32_t s);

}  // namespace kaz::actions

// datatype!, unset!, none! and logic!: registration, the shared constant cells and the builders
// the rest of the runtime calls constantly.
#pragma once

#include <cstdint>

#include "core/scalar_cell.h"
#include "runtime/cell.h"

namespace kaz {

// The shared constants, written when their datatypes register. Code answers a pointer to one
// instead of building a fresh cell; nobody writes through such a pointer.
extern cell unset_value;
extern cell none_value;
extern cell true_value;
extern cell false_value;

namespace datatype_type {
void init();
cell* push(uint32_t id);                          // a datatype! on the evaluation stack
cell* append_to_block(cell* block, uint32_t id);  // a datatype! at a block's tail
}  // namespace datatype_type

namespace unset_type {
void init();
cell* set_result();  // the result slot (stack::arguments) becomes unset!
cell* push_value();
cell* append_to_block(cell* block);
}  // namespace unset_type

namespace none_type {
void init();
cell* set_result();
cell* push_value();
cell* append_to_block(cell* block);
}  // namespace none_type

namespace logic_type {
void init();
// Word 1 receives 1 for a non-zero value, else 0.
cell* box(uint32_t value);  // into the result slot
cell* push(uint32_t value);
cell* append_to_block(cell* block, uint32_t value);

// Truth tests. A value is false when it is none! or a logic! whose word 1 is not 1.
// true_test: with check_unset, an unset! raises no-value naming `argument`.
bool true_test(const cell* value, bool check_unset, const cell* argument);
bool result_false();     // the result slot holds a false value (unset! counts as true)
bool stack_top_false();  // the same on the last value of the evaluation stack
inline bool stack_top_true() { return !stack_top_false(); }
}  // namespace logic_type

}  // namespace kaz

// The function family: function! and routine! (a spec, a context and a body), native! and
// action! (entries of the runtime's tables), op! (an infix wrapper of any two-argument function).
#pragma once

#include <cstdint>

#include "core/stack.h"
#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz {

/*
 * native! and action!: data1 the table index (1-based), data2 the spec block's node, data3 the
 * node of a two-cell extra block: [0] a context! of the spec's argument words, [1] the argument
 * descriptors once the interpreter has built them (none! until then).
 * function! and routine!: data1 the context node, data2 the spec node, data3 the node of a
 * five-cell extra block: [0] the body or none!, [1] the descriptors (unset! until built), [2] the
 * built-in code index as integer! (unset! when interpreted), [3] the function an op! wraps, [4]
 * the lookup context as integer!, or unset!. Header flags: 0x400 trace, 0x200 no-trace; on a
 * routine! bit 15 (cell-address calling) and bits 25-29 the argument count.
 * op!: a copy of the wrapped value retyped, its type in header bits 16-23.
 */
namespace function_flag {
constexpr uint32_t trace = 0x400;
constexpr uint32_t no_trace = 0x200;
constexpr uint32_t builtin = 0x100;  // a library function: no trace events inside it
}  // namespace function_flag

// The entry of a native, or the stack entry of an action: arguments at stack::arguments, one
// position per refinement in `refs` (-1 absent, else the stack position of its first argument).
using native_entry = flow (*)(const int32_t* refs);

// The entry of a routine: C++ code of the library, declared from Kaz with its spec. It reads its
// arguments from `arguments` on (the call's result slot first) and writes its result there.
using routine_entry = void (*)(cell* arguments);

namespace extra {
constexpr uint32_t body = 0;
constexpr uint32_t descriptors = 1;
constexpr uint32_t code = 2;
constexpr uint32_t op_function = 3;
constexpr uint32_t lookup = 4;
}  // namespace extra

// Descriptor kinds (header bits 20-21 of an argument's typeset).
namespace arg_kind {
constexpr uint32_t normal = 0;  // word!: evaluated
constexpr uint32_t get = 1;     // get-word!: taken as it stands
constexpr uint32_t lit = 2;     // lit-word!: quoted
constexpr uint32_t ret = 3;     // return:
constexpr uint32_t shift = 20;
}  // namespace arg_kind

namespace function {

inline bool is_any_function(uint32_t t) {
  return t == type::native || t == type::action || t == type::op || t == type::function ||
         t == type::routine;
}

// The table index of a native! or action!; the spec node of any function-like value.
inline uint32_t table_index_of(const cell* f) { return f->data1; }
inline node_t spec_of(const cell* f) { return f->data2; }
// The node of its extra block.
inline node_t extra_of(const cell* f) { return f->data3; }

inline const cell* extra_cells(const cell* f) { return memory::buffer_of(f->data3)->cells(); }
inline cell* extra_cells_rw(const cell* f) { return memory::buffer_of(f->data3)->cells_rw(); }

// The context of a function value's argument words: a function! or routine! holds it in data1, a
// native! or action! in the context! cell of its extra block; an op! as the value it wraps.
inline node_t context_of(const cell* f) {
  uint32_t t = type_of(f);
  if (t == type::op) t = (f->header >> 16) & 0xFF;
  if (t == type::native || t == type::action) return extra_cells(f)[0].data2;
  return f->data1;
}
// The context of a value known to be a function! or routine!: context_of without the dispatch,
// for the call paths.
inline node_t own_context_of(const cell* f) { return f->data1; }

// Checks a spec block (from its index); answers its attribute flags. Raises bad-func-def,
// dup-vars or invalid-type-spec.
uint32_t validate_spec(cell* spec);

// Builds a function! into `out`. Without a context, one is made from the spec's words (values on
// the stack) and the body is deep-copied and bound to it.
void make_value(cell* out, cell* spec, cell* body, node_t ctx, uint32_t code_index,
                uint32_t header_flags);

// The collection of set-words (and loop words) of a body as locals, for `function`: answers the
// new spec (a copy of the given one with /local and the words appended when any were found).
void collect_locals(cell* spec, cell* body, cell* out_spec);

// The argument descriptor block of a function-like value, built and cached on first use.
const cell* build_descriptors(cell* f);
inline const cell* descriptors(cell* f) {
  uint32_t t = type_of(f);
  const cell* d = extra_cells(f) + ((t == type::native || t == type::action) ? 1 : extra::descriptors);
  return type_of(d) == type::block ? d : build_descriptors(f);
}
// Number of arguments before the first refinement.
uint32_t arity(cell* f);

// A native! or action! value for table index `index` (1-based), with its spec block.
void make_native(cell* out, uint32_t type_id, cell* spec, uint32_t index);

// The table entry behind a native!/action! value (null when the slot is empty).
extern native_entry natives_table[120];
extern native_entry actions_table[62];
inline native_entry entry_of(const cell* f) {
  // make native! and make action! only make values of table entries that exist.
  return type_of(f) == type::action ? actions_table[f->data1 - 1] : natives_table[f->data1 - 1];
}
native_entry native_table_entry(uint32_t index);  // 1..120
void register_native(uint32_t index, native_entry e);
// The routines table: entries of the library's C++ code, by index (1-based), with the datatype
// of their result (-1 when they set their own result).
void register_routine(uint32_t index, routine_entry e, int32_t result_type);
routine_entry routine_table_entry(uint32_t index);
int32_t routine_result_type(uint32_t index);
constexpr uint32_t max_routines = 400;
// True while the library's top level runs: `make routine! [spec index]` then declares the
// routine of table entry `index` (at any other time `make routine!` is function!'s make).
extern bool declaring_routines;
// A routine! value for table entry `index` with its spec (start-up only).
void make_routine(cell* out, cell* spec, uint32_t index);
void register_action(uint32_t index, native_entry e);
native_entry action_table_entry(uint32_t index);  // 1..62

// The n-th (0-based) argument word of the spec of the running function, or none! (for
// expect-arg's third argument).
void spec_word_at(uint32_t n, cell* out);
// The same from the spec of a given function value.
void spec_word_of(const cell* fn, uint32_t n, cell* out);

void init();  // registers function!, routine!, native!, action!, op!

}  // namespace function
}  // namespace kaz

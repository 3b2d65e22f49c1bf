// The datatype registry: each datatype's name, parent and one implementation per action slot.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz {

// Action slot numbers (1-62).
namespace slot {
enum id : uint32_t {
#define ACTION(n, cname, word) cname = n,
#include "core/actions.def"
#undef ACTION
};
constexpr uint32_t count = 62;
}  // namespace slot

/*
 * The slot calling forms. Value arguments come first, then refinements in spec order. A
 * refinement with an argument is given as that argument's cell, or null when absent; a flag
 * refinement as a bool; a count as an int32 (-1 absent unless noted). Slots answer the result
 * cell (often the first argument, which is the call's result slot) unless noted. The "stack"
 * slots take their arguments from the evaluation stack (stack::arguments on) and write the
 * result slot themselves.
 */
namespace slot_fn {
using make = cell* (*)(cell* proto, cell* spec, uint32_t type);  // also `to`
using random = const cell* (*)(cell* value, bool seed, bool secure, bool only);
using reflect = cell* (*)(cell* value, uint32_t field_symbol);
// form and mold answer the budget left (negative once overrun).
using form = int32_t (*)(cell* value, cell* buffer, cell* part, int32_t limit);
using mold = int32_t (*)(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part,
                         int32_t limit, int32_t indent);
// value is null for a get; gparent and p_item name the owner of the parent when known.
using eval_path = const cell* (*)(cell* parent, cell* element, cell* value, cell* path,
                            cell* gparent, cell* p_item, int32_t index, bool case_, bool get,
                            bool tail);
using compare = int32_t (*)(cell* value1, cell* value2, int32_t op);
using stack = void (*)();
using unary = cell* (*)(cell* value);  // negate, complement, clear, create, close, delete, ...
using round = cell* (*)(cell* value, cell* scale, bool even, bool down, bool half_down,
                        bool floor, bool ceiling, bool half_ceiling);
using test = bool (*)(cell* value);  // even?, odd?
// append and insert share one implementation: part -1 absent, dup 1 absent.
using insert = cell* (*)(cell* series, cell* value, int32_t part, bool only, int32_t dup,
                         bool append);
using change = cell* (*)(cell* series, cell* value, int32_t part, bool only, int32_t dup);
using copy = cell* (*)(cell* value, cell* result, cell* part, bool deep, cell* types);
using find = cell* (*)(cell* series, cell* value, cell* part, bool only, bool case_, bool same,
                       bool any, cell* with, cell* skip, bool last, bool reverse, bool tail,
                       bool match);
using length = int32_t (*)(cell* series);  // -1 answers none
using move = cell* (*)(cell* origin, cell* target, cell* part);
using pick = const cell* (*)(cell* series, int32_t index, cell* boxed);
using poke = cell* (*)(cell* series, int32_t index, cell* value, cell* boxed);
using put = cell* (*)(cell* series, cell* key, cell* value, bool case_);
using remove = cell* (*)(cell* series, cell* part, cell* key);
using reverse = cell* (*)(cell* series, cell* part, cell* skip);
using select = cell* (*)(cell* series, cell* value, cell* part, bool only, bool case_,
                         bool same, bool any, cell* with, cell* skip, bool last, bool reverse);
using sort = cell* (*)(cell* series, bool case_, cell* skip, cell* comparator, cell* part,
                       bool all, bool reverse, bool stable);
using binary = cell* (*)(cell* value1, cell* value2);  // swap, rename
using take = cell* (*)(cell* series, cell* part, bool deep, bool last);
using trim = cell* (*)(cell* series, bool head, bool tail, bool auto_, bool lines, bool all,
                       cell* with);
using modify = cell* (*)(cell* target, cell* field, cell* value, bool case_);
using open = cell* (*)(cell* port, bool new_, bool read, bool write, bool seek, cell* allow);
using read = cell* (*)(cell* source, cell* part, cell* seek, bool binary, bool lines, bool info,
                       cell* as);
using write = cell* (*)(cell* destination, cell* data, bool binary, bool lines, bool info,
                        bool append, cell* part, cell* seek, cell* allow, cell* as);
}  // namespace slot_fn

// One datatype's 62 slots, in slot order; null means "not supported".
struct action_row {
  slot_fn::make make;
  slot_fn::random random;
  slot_fn::reflect reflect;
  slot_fn::make to;
  slot_fn::form form;
  slot_fn::mold mold;
  slot_fn::eval_path eval_path;
  slot_fn::stack set_path;
  slot_fn::compare compare;
  slot_fn::stack absolute;
  slot_fn::stack add;
  slot_fn::stack divide;
  slot_fn::stack multiply;
  slot_fn::unary negate;
  slot_fn::stack power;
  slot_fn::stack remainder;
  slot_fn::round round;
  slot_fn::stack subtract;
  slot_fn::test even_q;
  slot_fn::test odd_q;
  slot_fn::stack and_t;
  slot_fn::unary complement;
  slot_fn::stack or_t;
  slot_fn::stack xor_t;
  slot_fn::insert append;
  slot_fn::stack at;
  slot_fn::stack back;
  slot_fn::change change;
  slot_fn::unary clear;
  slot_fn::copy copy;
  slot_fn::find find;
  slot_fn::stack head;
  slot_fn::stack head_q;
  slot_fn::stack index_q;
  slot_fn::insert insert;
  slot_fn::length length_q;
  slot_fn::move move;
  slot_fn::stack next;
  slot_fn::pick pick;
  slot_fn::poke poke;
  slot_fn::put put;
  slot_fn::remove remove;
  slot_fn::reverse reverse;
  slot_fn::select select;
  slot_fn::sort sort;
  slot_fn::stack skip;
  slot_fn::binary swap;
  slot_fn::stack tail;
  slot_fn::stack tail_q;
  slot_fn::take take;
  slot_fn::trim trim;
  slot_fn::unary create;
  slot_fn::unary close;
  slot_fn::unary delete_;
  slot_fn::modify modify;
  slot_fn::open open;
  slot_fn::unary open_q;
  slot_fn::unary query;
  slot_fn::read read;
  slot_fn::binary rename;
  slot_fn::unary update;
  slot_fn::write write;
};
static_assert(sizeof(action_row) == slot::count * sizeof(void*), "one pointer per slot");

// The slots a datatype takes from its parent, as a set of slot numbers.
struct inherited {
  uint64_t bits = 0;
  constexpr inherited() = default;
  template <class... S>
  constexpr explicit inherited(S... slots) : bits(((uint64_t(1) << (slots - 1)) | ... | 0)) {}
  constexpr bool has(uint32_t s) const { return (bits >> (s - 1)) & 1; }
  static constexpr inherited all() {
    inherited i;
    i.bits = (uint64_t(1) << slot::count) - 1;
    return i;
  }
  // Every slot but the ones given (a type that overrides a few of its parent's slots).
  template <class... S>
  static constexpr inherited all_but(S... slots) {
    inherited i = all();
    i.bits &= ~inherited(slots...).bits;
    return i;
  }
};

namespace registry {

// Registers a datatype. The inherited slots copy the parent's entries as they stand now, so
// parents register first; an inherited slot without a parent stays null.
void add(uint32_t id, const action_row& own, inherited from_parent = {});

// The row of a datatype id (every id up to type::max_id has one; unregistered rows are empty).
const action_row& row(uint32_t id);

// Name with its "!" ("block!"), and the length of the name without it.
const char* name(uint32_t id);
uint32_t name_length(uint32_t id);
uint32_t parent(uint32_t id);
uint32_t highest_id();
bool registered(uint32_t id);

// Registers every datatype of the runtime, parents first (start-up).
void init_all();
// Sets the global word of every datatype's name (integer!) to its datatype! value.
void make_name_words();

}  // namespace registry

}  // namespace kaz

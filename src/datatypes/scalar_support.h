// Small helpers the time!, date!, money!, tuple! and bitset! files share: argument cells for
// their errors and the field words of their paths.
#pragma once

#include <cstdint>

#include "core/context.h"
#include "core/fire.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "datatypes/cell.h"

namespace kaz::scalar {

// Operation codes of the arithmetic shared by every number-like datatype.
namespace math_op {
constexpr int32_t add = 0;
constexpr int32_t subtract = 1;
constexpr int32_t multiply = 2;
constexpr int32_t divide = 3;
constexpr int32_t remainder = 4;
constexpr int32_t or_ = 5;
constexpr int32_t and_ = 6;
constexpr int32_t xor_ = 7;
}  // namespace math_op

// The action word of an operation code (errors name it).
inline const char* math_op_word(int32_t op) {
  static const char* const words[] = {"add", "subtract", "multiply", "divide",
                                      "remainder", "or~", "and~", "xor~"};
  return op >= 0 && op < 8 ? words[op] : "add";
}

inline cell datatype_cell(uint32_t t) { return cell{type::datatype_, t, 0, 0}; }

// A word! of the global context (errors name functions and fields by words).
inline cell word_cell(const char* name) {
  cell w;
  context::intern_global(symbol::make(name), &w);
  return w;
}

inline bool is_word(const cell* c) {
  uint32_t t = type_of(c);
  return t == type::word || t == type::set_word || t == type::get_word || t == type::lit_word;
}

// "incompatible argument for <word> of <datatype>".
[[noreturn]] inline void fire_not_related(const char* word, uint32_t t) {
  cell w = word_cell(word);
  cell dt = datatype_cell(t);
  fire(err::script_not_related, &w, &dt);
}

// The same, naming the running call (round and its scale).
[[noreturn]] inline void fire_not_related_here(uint32_t t) {
  cell w;
  stack::get_call_name(&w);
  cell dt = datatype_cell(t);
  fire(err::script_not_related, &w, &dt);
}

// "<datatype> type is not allowed here" for the value's datatype.
[[noreturn]] inline void fire_invalid_type(const cell* v) {
  cell dt = datatype_cell(type_of(v));
  fire(err::script_invalid_type, &dt);
}

// "<datatype> overflow/underflow".
[[noreturn]] inline void fire_type_limit(uint32_t t) {
  cell dt = datatype_cell(t);
  fire(err::script_type_limit, &dt);
}

// "cannot MAKE/TO <datatype> from: <value>" (or "cannot MAKE" with make).
[[noreturn]] inline void fire_bad_to(uint32_t t, const cell* v) {
  cell dt = datatype_cell(t);
  cell value = *v;
  fire(err::script_bad_to_arg, &dt, &value);
}
[[noreturn]] inline void fire_bad_make(uint32_t t, const cell* v) {
  cell dt = datatype_cell(t);
  cell value = *v;
  fire(err::script_bad_make_arg, &dt, &value);
}

/*
 * The field words of a datatype's paths, by 1-based index. The symbols are interned on first
 * use; words match whatever their case.
 */
template <uint32_t N>
class field_words {
 public:
  explicit constexpr field_words(const char* const (&names)[N]) {
    for (uint32_t i = 0; i < N; ++i) names_[i] = names[i];
  }

  // 1-based index of the word's field, -1 for another word or a non-word.
  int32_t index_of(const cell* w) {
    if (!is_word(w)) return -1;
    intern();
    uint32_t s = symbol::resolve(w->data2);
    for (uint32_t i = 0; i < N; ++i)
      if (symbols_[i] == s) return static_cast<int32_t>(i) + 1;
    return -1;
  }

 private:
  void intern() {
    if (interned_) return;
    for (uint32_t i = 0; i < N; ++i) symbols_[i] = symbol::resolve(symbol::make(names_[i]));
    interned_ = true;
  }

  const char* names_[N] = {};
  uint32_t symbols_[N] = {};
  bool interned_ = false;
};

}  // namespace kaz::scalar

// Small helpers the time!, date!, money!, tuple! and bitset! files share: the errors they raise
// with their arguments, and the field words of their paths.
#pragma once

#include <cstdint>

#include "core/context.h"
#include "core/stack.h"
#include "core/symbol.h"
#include "core/word.h"
#include "datatypes/integer.h"
#include "runtime/cell.h"
#include "runtime/fire.h"

namespace kaz::scalar {

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

// "<datatype> type is not allowed here" for the value's datatype.
[[noreturn]] inline void fire_invalid_type(const cell* v) {
  fire_with_type(err::script_invalid_type, type_of(v));
}

// "cannot MAKE/TO <datatype> from: <value>" (or "cannot MAKE" with make).
[[noreturn]] inline void fire_bad_to(uint32_t t, const cell* v) {
  cell value = *v;
  fire_with_type(err::script_bad_to_arg, t, &value);
}
[[noreturn]] inline void fire_bad_make(uint32_t t, const cell* v) {
  cell value = *v;
  fire_with_type(err::script_bad_make_arg, t, &value);
}

// pick's index: a char! or logic! counts as the number the action made of it (its code point,
// true 1, false 2), like an integer!; any other index is answered as it is.
inline const cell* pick_index(const cell* boxed, int32_t index, cell* number) {
  uint32_t t = type_of(boxed);
  if (t != type::char_ && t != type::logic) return boxed;
  *number = cell{type::integer, 0, static_cast<uint32_t>(index), 0};
  return number;
}

// A random/seed answers unset!.
inline cell* unset_result(cell* v) {
  *v = cell{type::unset, 0, 0, 0};
  return v;
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
    uint32_t s = symbol::resolve(word::symbol_of(w));
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

// What the error files share: field access, the catalogue's lookups and the trace level.
#pragma once

#include <cstdint>

#include "core/context.h"
#include "core/error.h"

namespace kaz::error {

constexpr uint32_t fixed_fields = 2;    // code and type come before a category's ids
constexpr int32_t syntax_category = 2;  // its arguments are formed, not molded

inline const cell* values_of(const cell* e) { return context::values(e->data1); }
inline cell* values_rw(const cell* e) { return context::values_rw(e->data1); }
inline void set_field(const cell* e, uint32_t index, const cell* v) { values_rw(e)[index] = *v; }

// The catalogue (error_catalogue.cpp). Code may change it once it hangs on the system object:
// every lookup copes with a category or an id that is missing.
void build_catalogue();
node_t categories();
uint32_t category_count();
// The context of category c, or 0 when the catalogue holds no object there.
node_t category_context(uint32_t c);
uint32_t id_count(uint32_t c);
// The category index of a word (case-insensitive), or -1.
int32_t category_of(const cell* w);
// The position of an id word in a category (counted after code and type), or -1.
int32_t id_of(uint32_t c, const cell* w);
// The words errors.def gives a category index and an id position, when the catalogue lost them.
void defined_words(uint32_t c, uint32_t k, cell* type_word, cell* id_word);
// The catalogue entry of an error's code, for the C++ exception that carries it.
err entry_of_code(uint32_t code);

// system/state/stack-trace as an integer, 0 when absent (error_text.cpp).
int32_t stack_trace_level();

}  // namespace kaz::error

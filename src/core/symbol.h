// The symbol table: every spelling of a word, interned once and known by a 1-based id.
#pragma once

#include <cstdint>
#include <string_view>

#include "memory/series.h"

namespace kaz::symbol {

/*
 * A spelling is interned exactly (case-sensitive). Spellings equal without regard to ASCII case
 * share one canonical symbol: a new spelling's alias is the canonical id of the variants already
 * there, so case-insensitive equality is an integer comparison of canonical ids whatever order
 * the variants were met in.
 */
uint32_t make(std::string_view utf8);           // find or add, case-sensitive
uint32_t make_ignore_case(std::string_view utf8);  // answers any existing case variant

// Canonical id (the alias when there is one, else the id itself).
uint32_t resolve(uint32_t id);
int32_t alias(uint32_t id);  // -1 for a canonical spelling
std::string_view spelling(uint32_t id);
uint32_t count();

// The symbol's name as a string! buffer, made on first request and kept for the run.
node_t name_string(uint32_t id);

void init();
void mark_roots();

}  // namespace kaz::symbol

// The lexer's automaton: 65 working states, 36 final states (one per token class) and the
// tables that drive the scanning loop.
#pragma once

#include <array>
#include <cstdint>

#include "loader/lexer_classes.h"

namespace kaz::lexer {

// Token classes: a final state is the class + 65.
namespace token {
enum : uint8_t {
  end = 1,          // end of input
  error = 2,        // no rule of the automaton fits
  block_open = 3,   // [
  block_close = 4,  // ]
  paren_open = 5,   // (
  paren_close = 6,  // )
  brace_open = 7,   // { (opens or nests a brace string)
  brace_close = 8,  // } inside a brace string
  map_open = 9,     // #[
  path_open = 10,   // a word directly followed by /
  construct = 11,   // #( ... )
  comment = 12,     // ; to the end of the line
  comma = 13,       // , (point separator)
  string = 14,
  word = 15,
  issue = 16,
  integer = 17,
  refinement = 18,
  char_ = 19,
  file = 20,
  binary = 21,
  percent = 22,
  float_ = 23,
  special_float = 24,
  tuple = 25,
  date = 26,
  pair = 27,
  point = 28,
  time = 29,
  money = 30,
  tag = 31,
  url = 32,
  email = 33,
  hex_integer = 34,
  raw_string = 35,
  ref = 36,
};
constexpr uint32_t count = 36;
}  // namespace token

namespace state {
constexpr uint8_t start = 0;
constexpr uint8_t brace_string = 4;  // inside a brace string
constexpr uint8_t point = 35;        // inside a point literal
constexpr uint8_t path_segment = 59; // the next segment of a path
constexpr uint8_t working = 65;      // states 0-64 are working states
constexpr uint8_t first_final = 66;
constexpr uint8_t count = 102;
// Transition entries carry this bit when the final transition takes the byte into the token
// (a closing quote, bracket, brace, '>' or '%'); a transition ended by a delimiter leaves it.
constexpr uint8_t consume = 0x80;
constexpr uint8_t mask = 0x7F;
}  // namespace state

constexpr uint8_t final_state(uint8_t token_class) { return uint8_t(token_class + 65); }
constexpr uint8_t token_of_state(uint8_t final) { return uint8_t(final - 65); }

// Transition table: next state (with the consume bit) for each working state and byte class.
extern const std::array<std::array<uint8_t, cls::count>, state::working> transitions;

// 1 for the start state (bytes that keep the automaton there are skipped), else 0.
extern const std::array<uint8_t, state::count> skip_table;

// The datatype a token ending in (or failing in) each state has; 0 when none.
extern const std::array<uint8_t, state::count> type_table;

}  // namespace kaz::lexer

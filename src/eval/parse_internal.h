// What the parts of the parse engine share: the engine state of one parse call, the frames of
// the rule stack, the view of the input that the matchers read, and the keywords.
#pragma once

#include <cstdint>

#include "core/series_cell.h"
#include "core/stack.h"
#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz::parse {

/*
 * The rule stack is a block of frames of three cells each, pushed while rules nest; the
 * engine tells the two kinds apart by the type of the top cell:
 *   block frame:   [0] none!   (data1: the enclosing block frame's first cell)
 *                  [1] triple! (rule position in the block, input position and length at entry)
 *                  [2] block!  the rule block
 *   command frame: [0] triple! (per command: counts, an attempt position, collect target...)
 *                      or, for copy and set, the word
 *                  [1] triple! (argument position, input position and length at the start)
 *                  [2] pair!   (command code, option flag; data1: activity at the start)
 * Rule positions are absolute cell indexes of the rule block. The stack holds only cells, so
 * the collector keeps every rule block and word alive, and a paren that runs parse again works
 * above this call's frames.
 */
constexpr uint32_t frame_cells = 3;
// Neither stack may pass this many cells.
constexpr uint32_t stack_limit = 10000;

// Command codes held in command frames.
namespace code {
constexpr int32_t repeat = -1;  // any, some, opt, counts
constexpr int32_t to = -2;
constexpr int32_t thru = -3;
constexpr int32_t copy = -4;
constexpr int32_t set = -5;
constexpr int32_t not_ = -6;
constexpr int32_t into = -7;
constexpr int32_t remove = -9;
constexpr int32_t while_ = -11;
constexpr int32_t collect = -12;
constexpr int32_t keep = -13;
constexpr int32_t ahead = -16;
constexpr int32_t change = -17;
constexpr int32_t change_only = -18;
constexpr int32_t case_ = -19;
}  // namespace code

// The words the engine reads as keywords (by symbol, whatever their case), and the words that
// only mean something after a keyword.
enum class kw : uint8_t {
  not_keyword = 0,  // not a keyword
  bar, skip, any, some, opt, while_, to, thru, end, none, fail, break_, reject, not_, ahead,
  quote, if_, case_, copy, set, into, remove, insert, change, collect, keep,
  only, pick, after,  // modifiers
  count_
};
constexpr kw first_modifier = kw::only;
// The keyword of a word! cell (not_keyword for other words and for the modifiers).
kw keyword_of(const cell* word);
void init_keywords();
// Whether a word cell is the given modifier (only, pick, after, or set/into after collect).
bool is_word(const cell* v, kw k);

// Where the kept values of an open collect go.
namespace target {
constexpr uint32_t block = 0;  // a new block
constexpr uint32_t set = 1;    // a new block, set into a word at the end
constexpr uint32_t into = 2;   // a series, at its position
constexpr uint32_t after = 3;  // a series, at its tail
}  // namespace target

enum class family : uint8_t { block, text, bytes };

// The input's data as the matchers read it, derived anew after anything that may allocate or
// run code. Positions count units (cells, characters or bytes) from `base`.
struct view {
  const uint8_t* base;
  uint32_t unit;
  uint32_t tail;
  uint32_t end;  // the tail, or the limit when it comes first
};

// The events of the trace callback.
enum class ev : uint8_t { push, pop, fetch, match, iterate, paren, end };

// One parse call.
struct engine {
  cell input;            // the input being matched (an `into` level's own); data1: position
  family fam;
  int32_t limit;         // absolute end of the outermost input, -1 for none
  int32_t op;            // comparison operation: 0, or 2 for case-sensitive
  uint32_t rule_base;    // this call's first cell on the rule stack
  uint32_t input_base;   // and on the input stack
  uint32_t sp;           // the rule stack's top (its tail, in cells)
  uint32_t bf;           // first cell of the innermost block frame
  uint32_t depth;        // `into` levels entered
  uint32_t result_slot;  // evaluation-stack index of the top-level collect's block
  uint32_t collect_target;  // evaluation-stack index of the innermost collect's target, 0: none
  uint32_t collects;     // open collects
  uint32_t activity;     // Kaz code run and input modified so far: an idle `while` stops
  bool matched;          // the last match state
  bool stopped;          // the callback asked to stop, or a non-local exit is pending
  flow exit;             // that exit
  cell callback;         // none! without /trace
  cell rules;            // the outermost rule block
};

// What the engine does next (parse_engine.cpp runs the steps, parse_commands.cpp starts the
// keywords' work).
enum class step : uint8_t {
  next,         // on to the next rule value
  dispatch,     // the value at the rule position (a command's argument)
  matched,      // a rule matched: the frame on top applies it
  failed,       // a rule failed
  neutral,      // a paren ran: the match state is unchanged
  alternative,  // the current alternative failed: try the next one
  bar,          // `|` after a success: the block ends with success
  break_,       // `break`: the enclosing repetition ends with success
  reject,       // `reject`: the enclosing repetition fails
  finish,       // the outermost block ended
  stop,         // the callback asked to stop, or a non-local exit is pending
};

// A rule value by its type; a block pushes its frame.
step dispatch_value(engine& e, cell rule);
// A keyword met at the rule position.
step keyword(engine& e, kw k, const cell& word);
// The value of a word used as a rule (parse-rule when it is unset or itself a word).
cell word_rule(const cell& word);
// A match result: the state kept, the `match` event fired.
step terminal(engine& e, bool ok);
// A non-local exit out of a paren: parsing stops and the exit goes on.
inline step leave(engine& e, flow f) {
  e.stopped = true;
  e.exit = f;
  return step::stop;
}

// ---------------------------------------------------------------------------------------------
// Stacks and frames (parse_stacks.cpp).

// [0] the rule stack, [1] the input stack: roots, their nodes rewritten by the collector.
extern cell stacks[2];

// Cell 0 of the rule stack (valid until the next allocation).
inline const cell* rule_cells() { return memory::buffer_of(series::node_of(&stacks[0]))->cells(); }
inline cell* rule_cells_rw() { return memory::buffer_of(series::node_of(&stacks[0]))->cells_rw(); }
cell rule_stack_at(uint32_t index);  // the rule stack as a block value from a cell on
void open_stacks(engine& e);
void reset_stacks(const engine& e);
void push_input(engine& e, const cell* series);
void pop_input(engine& e, cell* out);
// Frames fire `push` and `pop`; they answer false when the callback asked to stop.
bool push_block_frame(engine& e, const cell* block);
bool push_command_frame(engine& e, int32_t command, int32_t option, const cell* first,
                        int32_t arg_pos);
bool pop_frame(engine& e);
inline bool is_command_frame(const cell* f) { return type_of(f + 2) == type::pair; }

// The innermost block frame's rule position and rule block.
inline int32_t rule_pos(const engine& e) { return int32_t(rule_cells()[e.bf + 1].data1); }
inline void set_rule_pos(const engine& e, int32_t pos) {
  rule_cells_rw()[e.bf + 1].data1 = uint32_t(pos);
}
inline series_buffer* rule_block(const engine& e) {
  return memory::buffer_of(rule_cells()[e.bf + 2].data2);
}
// Values of the current rule block.
inline uint32_t rule_length(const engine& e) {
  return rule_block(e)->used_bytes() / uint32_t(sizeof(cell));
}
// The value at a position of the current rule block; false past its end.
inline bool rule_at(const engine& e, int32_t pos, cell* out) {
  series_buffer* s = rule_block(e);
  if (pos < 0 || uint32_t(pos) >= s->used_bytes() / sizeof(cell)) return false;
  *out = s->cells()[pos];
  return true;
}

// Calls the trace callback; false when parsing must stop.
bool call_callback(engine& e, ev event);
inline bool fire_event(engine& e, ev event) {
  if (type_of(&e.callback) == type::none) return !e.stopped;
  return call_callback(e, event);
}

// ---------------------------------------------------------------------------------------------
// The input (parse_match.cpp).

view view_of(const engine& e);
inline family family_of(uint32_t t) {
  return is_any_block(t) ? family::block : t == type::binary ? family::bytes : family::text;
}
// Values that match as themselves (not words, blocks, parens, counts, datatypes or paths).
bool literal_like(uint32_t t);
// The datatype and typeset rules.
inline bool is_type_rule(uint32_t t) { return t == type::datatype_ || t == type::typeset; }

// One literal value at the position; on success the position moves past the match.
bool match_literal(engine& e, const cell* rule, uint32_t& pos);
// A datatype! or typeset! rule at the position (block and binary input).
bool match_type(engine& e, const cell* rule, uint32_t& pos);
// A literal or type rule repeated up to `max` times (-1: no maximum); answers the count of
// matches and leaves the position after the last one. A match that consumes nothing counts
// once and ends the repetition.
int32_t match_repeat(engine& e, const cell* rule, int32_t max, uint32_t& pos);
// Searches forward for a literal or type rule (to/thru); on success the position is at the
// start of the match, or after it with `thru`.
bool find_value(engine& e, const cell* rule, bool thru, uint32_t& pos);
// Bitset membership of a code point or byte.
bool bitset_has(const cell* bitset, uint32_t c);

// ---------------------------------------------------------------------------------------------
// Copying, setting and collecting (parse_collect.cpp).

// A new series of the input's type holding the units from `from` to `to`.
void copy_range(const engine& e, uint32_t from, uint32_t to, cell* out);
// The first value of that range (char!, integer! byte or the cell), none! when it is empty.
void first_value(const engine& e, uint32_t from, uint32_t to, cell* out);
// Opens a collect: its target goes on the evaluation stack; answers the triple of the frame.
cell open_collect(engine& e, uint32_t kind, const cell* word);
// Ends the collect of a frame's triple (success or not); the target leaves the stack.
void close_collect(engine& e, const cell* info, bool ok);
// Keeps the range matched from `from` to the position (`pick`: each value on its own).
void keep_range(engine& e, uint32_t from, uint32_t to, bool pick);
// Keeps one value (the result of `keep (expression)`); with pick a block's values one by one.
void keep_value(engine& e, const cell* value, bool pick);

// ---------------------------------------------------------------------------------------------
// Modifying the input (parse_modify.cpp).

// Whether a value is a series on the input's buffer (the position forms of remove, insert
// and change).
bool on_input(const engine& e, const cell* v);
// The value an insert or change puts in: a paren evaluated, a word's value, else the value.
flow command_value(engine& e, const cell* v, cell* out);
void remove_range(engine& e, uint32_t from, uint32_t to);
// Inserts at `at`; answers the number of units inserted.
uint32_t insert_at(engine& e, uint32_t at, const cell* value, bool only);
// Replaces from `from` to `to`; answers the position after the replacement.
uint32_t change_range(engine& e, uint32_t from, uint32_t to, const cell* value, bool only);

// Evaluates a paren (its value stays in `out` when given); counts as activity.
flow eval_paren(engine& e, const cell* paren, cell* out);

// The global word of a symbol name, for errors and events.
void word_named(const char* name, cell* out);

}  // namespace kaz::parse

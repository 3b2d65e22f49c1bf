// The evaluation stack: a value stack of cells and a frame stack of call frames.
#pragma once

#include <cstdint>

#include "core/word.h"
#include "memory/series.h"
#include "runtime/cell.h"

namespace kaz {

// Non-local exits inside the evaluator travel as this status, returned and checked at every call
// site; only errors travel as C++ exceptions.
enum class [[nodiscard]] flow : uint8_t {
  normal = 0,
  break_,     // break (value, if any, already in the loop frame's result slot)
  continue_,  // continue
  return_,    // return (value in the function frame's result slot)
  exit,       // exit (unset in the result slot)
  throw_,     // throw (value and name pushed at the catch frame's base)
};

/*
 * A call frame. The result of a frame is always the cell at its argument base, so the base is at
 * once the first argument and the result slot. Header: bits 24-27 the kind, bit 28 the
 * function-body flag (target of return/exit), bit 31 the interpreted flag. Positions on the
 * value stack are kept as indexes, never addresses.
 */
struct call_frame {
  uint32_t header;
  uint32_t symbol;        // the name word's symbol
  uint32_t saved_base;    // the caller's argument base (value-stack index)
  node_t name_context;    // context of the name word
  node_t function_context;  // kind 1 with a context: the function's context, else 0
  uint32_t saved_values;  // kind 1: that context's values index when the frame opened
};

namespace frame_kind {
constexpr uint32_t function = 1;
constexpr uint32_t native = 2;
constexpr uint32_t try_ = 4;
constexpr uint32_t try_all = 5;
constexpr uint32_t catch_ = 6;
constexpr uint32_t block = 7;
constexpr uint32_t loop = 8;
}  // namespace frame_kind

namespace frame_flag {
constexpr uint32_t body = 0x10000000;
constexpr uint32_t interpreted = 0x80000000;
}  // namespace frame_flag

namespace stack {

constexpr uint32_t value_capacity = 20000;
constexpr uint32_t frame_capacity = 12000;

// The globals of the stack (one thread).
extern cell* bottom;
extern cell* top;
extern cell* arguments;
extern cell* limit;
extern call_frame* frame_bottom;
extern call_frame* frame_top;
extern call_frame* frame_limit;

void init();

inline uint32_t index_of(const cell* c) { return static_cast<uint32_t>(c - bottom); }
inline cell* at_index(uint32_t i) { return bottom + i; }

[[noreturn]] void overflow();  // stack-overflow error, after making room to raise it

inline cell* reserve_cell() {
  cell* c = top;
  if (++top >= limit) overflow();
  c->header = type::unset;
  return c;
}
inline cell* push(const cell* value) {
  cell* c = top;
  if (++top >= limit) overflow();
  *c = *value;
  return c;
}
inline cell* push_unset() { return reserve_cell(); }
inline cell* push_none() {
  cell* c = reserve_cell();
  c->header = type::none;
  return c;
}
inline cell* push_logic(bool v) {
  cell* c = reserve_cell();
  c->header = type::logic;
  c->data1 = v ? 1 : 0;
  return c;
}
inline cell* push_integer(int32_t v) {
  cell* c = reserve_cell();
  c->header = type::integer;
  c->data2 = static_cast<uint32_t>(v);
  return c;
}

inline cell* last_value() { return top - 1; }
inline void set_last(const cell* value) { copy_cell(value, arguments); }
inline void drop_frame_values() { top = arguments; }
inline void keep_result_only() { top = arguments + 1; }
inline void set_result_only(const cell* value) {
  top = arguments + 1;
  copy_cell(value, arguments);
}
inline void drop_values(uint32_t n) { top = (top - bottom >= n) ? top - n : bottom; }

[[noreturn]] void frame_overflow();

// Opening: the frame saves the current base; the new base is the current top.
inline void open_frame(const cell* name, uint32_t kind_bits) {
  if (frame_top >= frame_limit) [[unlikely]] frame_overflow();
  call_frame* f = frame_top++;
  f->header = kind_bits;
  f->symbol = word::symbol_of(name);
  f->saved_base = static_cast<uint32_t>(arguments - bottom);
  f->name_context = word::context_of(name);
  f->function_context = 0;
  f->saved_values = 0;
  arguments = top;
}
inline void open_native_frame(const cell* name) { open_frame(name, frame_kind::native << 24); }
inline void open_interpreted_native_frame(const cell* name) {
  open_frame(name, (frame_kind::native << 24) | frame_flag::interpreted);
}
inline void open_try_frame(const cell* name) { open_frame(name, frame_kind::try_ << 24); }
inline void open_try_all_frame(const cell* name) { open_frame(name, frame_kind::try_all << 24); }
inline void open_catch_frame(const cell* name) { open_frame(name, frame_kind::catch_ << 24); }
inline void open_loop_frame(const cell* name) { open_frame(name, frame_kind::loop << 24); }
inline void open_block_frame(const cell* name) {
  open_frame(name, (frame_kind::block << 24) | frame_flag::interpreted);
}
inline void open_interpreted_function_frame(const cell* name) {
  open_frame(name, (frame_kind::function << 24) | frame_flag::interpreted);
}
// Kind 1 with a context: its values index is saved and written back on close.
void open_function_frame(const cell* name, node_t context);

// Closing.
inline void close_frame() {  // result stays as the last value
  call_frame* f = --frame_top;
  top = arguments + 1;
  arguments = bottom + f->saved_base;
}
inline void close_frame_dropping() {  // result dropped
  call_frame* f = --frame_top;
  top = arguments;
  arguments = bottom + f->saved_base;
}
inline void close_frame_to_result() {  // result also copied to the caller's result slot
  call_frame* f = --frame_top;
  cell* base = arguments;
  top = base + 1;
  arguments = bottom + f->saved_base;
  *arguments = *base;
}
void close_function_frame();               // kind 1, values written back
void close_function_frame_dropping();
void close_function_frame_to_result();
void close_any_frame();

inline call_frame* current_frame() { return frame_top - 1; }
inline uint32_t frame_kind_of(const call_frame* f) { return (f->header >> 24) & 0xF; }
inline uint32_t frame_symbol(const call_frame* f) { return f->symbol; }
inline bool frame_has_body_flag(const call_frame* f) { return f->header & frame_flag::body; }

inline void set_top_body_flag(bool on) {
  call_frame* f = frame_top - 1;
  if (on)
    f->header |= frame_flag::body;
  else
    f->header &= ~frame_flag::body;
}
bool set_body_bit();  // on the frame below the top, unless set already; answers whether it set it
void clear_body_bit(call_frame* f);

// Unwinds both stacks to a saved state (try and the console use it after an error), writing back
// the saved values index of every kind 1 frame dropped on the way.
struct saved_state {
  cell* arguments;
  cell* top;
  call_frame* frame_top;
};
inline saved_state save() { return {arguments, top, frame_top}; }
void unwind_to(const saved_state& s);

// The scans of break/continue/return/throw: find the target frame, or null (then the caller
// raises the error). A try/all frame met first is a barrier.
call_frame* find_loop_frame();
call_frame* find_body_frame(bool from_above_top);
call_frame* find_catch_frame(call_frame* from);

// The argument base (result slot) of an open frame.
cell* base_of(const call_frame* f);

// Drops every frame above `target` and makes `target`'s base the current one, top = base.
void unwind_into(call_frame* target);

// The value a break/return/throw carries to its target, and a throw's name (roots).
extern cell flow_value;
extern cell flow_name;

// The collector marks the live values and the frames' contexts.
void mark_roots();

// Whether a frame is a call the user sees: one not named <body> or <anon>.
bool named_call(const call_frame* f);

// Name of the running call (for errors): the first frame not named <body> or <anon>.
// Writes a word! into `out`.
void get_call_name(cell* out);

// Appends to the block, newest first, each named call but the outermost frame: its word (as the
// frame's name context holds it, else the global one) and the value-stack index of the argument
// base it saved.
void collect_calls(cell* out);
extern call_frame* throw_origin;

}  // namespace stack
}  // namespace kaz

#include "core/stack.h"

#include "core/block_storage.h"
#include "core/context.h"
#include "core/symbol.h"
#include "core/words.h"
#include "memory/collector.h"
#include "memory/cycle_guard.h"
#include "runtime/fire.h"

namespace kaz::stack {

namespace {

// Both stacks live outside collector memory and never move.
cell value_cells[value_capacity];
call_frame frames[frame_capacity];

uint32_t body_symbol = 0;
uint32_t anon_symbol = 0;

}  // namespace

cell* bottom = value_cells;
cell* top = value_cells;
cell* arguments = value_cells;
cell* limit = value_cells + value_capacity;
call_frame* frame_bottom = frames;
call_frame* frame_top = frames;
call_frame* frame_limit = frames + frame_capacity;
call_frame* throw_origin = nullptr;
cell flow_value{type::unset, 0, 0, 0};
cell flow_name{type::unset, 0, 0, 0};

void init() {
  top = arguments = bottom;
  frame_top = frame_bottom;
  body_symbol = symbol::make("<body>");
  anon_symbol = symbol::make("<anon>");
  collector::add_mark_callback(mark_roots);
}

void overflow() {
  top -= 5;
  if (top < bottom) top = bottom;
  cycle_guard::reset();
  fire(err::internal_stack_overflow);
}

void frame_overflow() {
  top = (top - bottom >= 5) ? top - 5 : bottom;
  cycle_guard::reset();
  fire(err::internal_stack_overflow);
}

void open_function_frame(const cell* name, node_t ctx) {
  open_frame(name, frame_kind::function << 24);
  if (ctx) {
    call_frame* f = frame_top - 1;
    f->function_context = ctx;
    f->saved_values = context::header_cell(ctx)->data2;
  }
}

namespace {

// Pops the top frame; answers its base.
inline cell* pop(bool restore) {
  call_frame* f = --frame_top;
  if (restore && f->function_context)
    context::header_cell_rw(f->function_context)->data2 = f->saved_values;
  cell* base = arguments;
  arguments = at_index(f->saved_base);
  return base;
}

}  // namespace

void close_function_frame() { top = pop(true) + 1; }
void close_function_frame_dropping() { top = pop(true); }
void close_function_frame_to_result() {
  cell* base = pop(true);
  top = base + 1;
  copy_cell(base, arguments);
}
void close_any_frame() {
  bool was_bottom = frame_top - 1 == frame_bottom;
  call_frame* f = frame_top - 1;
  top = pop(frame_kind_of(f) == frame_kind::function);
  if (was_bottom) top = arguments = bottom;
}


bool set_body_bit() {
  if (frame_top - frame_bottom < 2) return false;
  call_frame* f = frame_top - 2;
  if (f->header & frame_flag::body) return false;
  f->header |= frame_flag::body;
  return true;
}

void clear_body_bit(call_frame* f) { f->header &= ~frame_flag::body; }

void unwind_to(const saved_state& s) {
  while (frame_top > s.frame_top) {
    call_frame* f = --frame_top;
    if (frame_kind_of(f) == frame_kind::function && f->function_context)
      context::header_cell_rw(f->function_context)->data2 = f->saved_values;
  }
  arguments = s.arguments;
  top = s.top;
}

call_frame* find_loop_frame() {
  for (call_frame* f = frame_top - 1; f >= frame_bottom; --f) {
    uint32_t k = frame_kind_of(f);
    if (k == frame_kind::try_all) return nullptr;
    if (k == frame_kind::loop) return f;
  }
  return nullptr;
}

call_frame* find_body_frame(bool from_above_top) {
  call_frame* f = from_above_top ? frame_top : frame_top - 1;
  for (; f >= frame_bottom; --f) {
    if (frame_kind_of(f) == frame_kind::try_all) return nullptr;
    if (f->header & frame_flag::body) return f;
  }
  return nullptr;
}

call_frame* find_catch_frame(call_frame* from) {
  for (call_frame* f = from; f >= frame_bottom; --f) {
    uint32_t k = frame_kind_of(f);
    if (k == frame_kind::try_all) return nullptr;
    if (k == frame_kind::catch_) return f;
  }
  return nullptr;
}

cell* base_of(const call_frame* f) {
  // A frame's own base is what the frame above it saved, or the current base for the top one.
  return f + 1 < frame_top ? at_index((f + 1)->saved_base) : arguments;
}

void unwind_into(call_frame* target) {
  arguments = base_of(target);
  frame_top = target + 1;
  top = arguments;
}

bool named_call(const call_frame* f) {
  return f->symbol != body_symbol && f->symbol != anon_symbol;
}

void get_call_name(cell* out) {
  call_frame* f = throw_origin ? throw_origin : frame_top - 1;
  throw_origin = nullptr;
  for (; f >= frame_bottom; --f) {
    if (!named_call(f)) continue;
    context::word_of_symbol(f->name_context, f->symbol, out);
    return;
  }
  *out = words::word.not_found;
}

void collect_calls(cell* out) {
  // Frames live outside collector memory: the appends below leave them where they are.
  for (call_frame* f = frame_top - 1; f > frame_bottom; --f) {
    if (!named_call(f)) continue;
    cell name;
    context::word_of_symbol(f->name_context, f->symbol, &name);
    block::append_copy(out, &name);
    cell index{type::integer, 0, f->saved_base, 0};
    block::append_copy(out, &index);
  }
}

void mark_roots() {
  collector::mark_values(bottom, top);
  collector::mark_values(&flow_value, &flow_value + 1);
  collector::mark_values(&flow_name, &flow_name + 1);
  for (call_frame* f = frame_bottom; f < frame_top; ++f) {
    if (f->name_context) collector::mark_context(&f->name_context);
    if (f->function_context) collector::mark_context(&f->function_context);
  }
}

}  // namespace kaz::stack

// The parse stacks: the rule stack of block and command frames and the input stack of `into`,
// two blocks made at start-up and shared by every parse call, nested ones included.
#include "core/block_storage.h"
#include "eval/parse.h"
#include "eval/parse_internal.h"
#include "memory/collector.h"
#include "runtime/fire.h"

namespace kaz::parse {

cell stacks[2];

namespace {

cell& rule_stack = stacks[0];
cell& input_stack = stacks[1];

// Sets the stack's tail at `cells`, growing it first when needed; answers its cell 0. The cells
// above the old tail are not written: the caller fills them before anything allocates.
cell* resize(cell& stack, uint32_t cells) {
  series_buffer* s = memory::buffer_of(series::node_of(&stack));
  uint64_t need = s->offset + uint64_t(cells) * sizeof(cell);
  if (need > s->size) s = memory::expand_series_copy(s, uint32_t(memory::round16(need * 2)));
  s->tail = s->offset + cells * uint32_t(sizeof(cell));
  return s->cells_rw();
}

uint32_t cells_in(const cell& stack) {
  return memory::buffer_of(series::node_of(&stack))->used_bytes() / uint32_t(sizeof(cell));
}

}  // namespace

void init() {
  block::init_cell(&rule_stack, 100);
  block::init_cell(&input_stack, 8);
  collector::add_root_cells(stacks, 2);
  init_keywords();
}

cell rule_stack_at(uint32_t index) {
  cell b = rule_stack;
  b.data1 = index;
  return b;
}

/*
 * Each call works above the tails it found, so a parse run from a paren leaves the frames of
 * the call around it alone; every way out of a call puts the tails back (reset_stacks).
 */
void open_stacks(engine& e) {
  e.rule_base = e.sp = e.bf = cells_in(rule_stack);
  e.input_base = cells_in(input_stack);
}

void reset_stacks(const engine& e) {
  resize(rule_stack, e.rule_base);
  resize(input_stack, e.input_base);
}

void push_input(engine&, const cell* series) {
  cell v = *series;
  uint32_t n = cells_in(input_stack);
  if (n + 1 > stack_limit) fire(err::script_parse_stack);
  resize(input_stack, n + 1)[n] = v;
}

void pop_input(engine&, cell* out) {
  uint32_t n = cells_in(input_stack) - 1;
  *out = memory::buffer_of(series::node_of(&input_stack))->cells()[n];
  resize(input_stack, n);
}

bool push_block_frame(engine& e, const cell* block) {
  cell b = *block;  // it may live on the stack that grows
  if (e.sp + frame_cells > stack_limit) fire(err::script_parse_stack);
  uint32_t length = view_of(e).tail;
  cell* f = resize(rule_stack, e.sp + frame_cells) + e.sp;
  f[0] = cell{type::none, e.bf, 0, 0};
  f[1] = cell{type::triple, series::index_of(&b) - 1, series::index_of(&e.input), length};
  f[2] = cell{type::block, series::index_of(&b), series::node_of(&b), 0};
  e.bf = e.sp;
  e.sp += frame_cells;
  return fire_event(e, ev::push);
}

bool push_command_frame(engine& e, int32_t command, int32_t option, const cell* first,
                        int32_t arg_pos) {
  cell head = *first;
  if (e.sp + frame_cells > stack_limit) fire(err::script_parse_stack);
  uint32_t length = view_of(e).tail;
  cell* f = resize(rule_stack, e.sp + frame_cells) + e.sp;
  f[0] = head;
  f[1] = cell{type::triple, uint32_t(arg_pos), series::index_of(&e.input), length};
  f[2] = cell{type::pair, e.activity, uint32_t(command), uint32_t(option)};
  e.sp += frame_cells;
  return fire_event(e, ev::push);
}

bool pop_frame(engine& e) {
  e.sp -= frame_cells;
  cell* f = resize(rule_stack, e.sp) + e.sp;
  if (!is_command_frame(f)) e.bf = f[0].data1;
  return fire_event(e, ev::pop);
}

}  // namespace kaz::parse

// Output natives: print and prin hand the formed text to the print hooks.
#include "core/actions.h"
#include "core/block_storage.h"
#include "core/series_cell.h"
#include "core/string_storage.h"
#include "eval/natives.h"
#include "memory/collector.h"
#include "runtime/output_hooks.h"

namespace kaz::natives {

namespace {

bool last_lf = false;  // whether the last output came from print (which ends the line)

/*
 * The block a printed block is reduced into: made once, kept as a root, emptied before and
 * after each use. A print run while the block's values are being evaluated (a print inside the
 * printed block) reduces into a block of its own, so the outer print loses nothing.
 */
cell scratch{type::none, 0, 0, 0};
bool scratch_busy = false;
constexpr uint32_t scratch_capacity = 32;

void empty_scratch() { block::set_tail_at(&scratch, 0); }

struct scratch_use {
  bool held;
  scratch_use() : held(!scratch_busy) {
    if (!held) return;
    if (type_of(&scratch) != type::block) {
      block::init_cell(&scratch, scratch_capacity);
      collector::add_root_cells(&scratch);
    }
    scratch_busy = true;
    empty_scratch();
  }
  ~scratch_use() {
    if (!held) return;
    empty_scratch();
    scratch_busy = false;
  }
};

// Reduces a block, forms the value (a string as it stands) and hands it to the hooks.
flow print_value(bool line_end) {
  cell value = *stack::arguments;
  scratch_use use;
  if (type_of(&value) == type::block) {
    int32_t refs[1] = {-1};
    if (use.held) {
      stack::top = stack::arguments + 1;
      cell target = scratch;
      target.data1 = 0;
      stack::push(&target);
      refs[0] = 1;  // /into the scratch block
    }
    flow f = reduce(refs);
    if (f != flow::normal) return f;
    value = *stack::arguments;
    value.data1 = 0;
  }
  cell text;
  if (type_of(&value) == type::string) {
    text = value;
    string::rs_head(&text);
  } else {
    cell buffer;
    string::make_at(&buffer, 16);
    stack::top = stack::arguments + 1;
    cell* held = stack::push(&buffer);
    actions::form(&value, held, nullptr, 0x7FFFFFFF);
    text = *held;
  }
  series_buffer* s = string::buffer_of(&text);
  uint32_t unit = s->unit();
  uint32_t length = string::length_from_head(&text);
  sysrt::unit_text view{s->data() + uint64_t(series::index_of(&text)) * unit, size_t(length) * unit,
                        unit};
  sysrt::call_print_hooks(view, line_end);
  last_lf = line_end;
  stack::arguments->header = type::unset;
  stack::top = stack::arguments + 1;
  return flow::normal;
}

}  // namespace

bool last_line_end() { return last_lf; }

flow print(const int32_t*) { return print_value(true); }
flow prin(const int32_t*) { return print_value(false); }

}  // namespace kaz::natives

#include "runtime/output_hooks.h"

#include <cstdio>
#include <cstring>

#include "runtime/console_out.h"
#include "runtime/print_items.h"
#include "runtime/tracked_alloc.h"

namespace kaz::sysrt {

namespace {

constexpr size_t capacity_step = 5;

// A list of hooks in a tracked array.
template <class Hook>
struct hook_list {
  Hook* entries = nullptr;
  size_t count = 0;
  size_t capacity = 0;

  void reset() {
    free(entries);
    entries = static_cast<Hook*>(alloc(capacity_step * sizeof(Hook)));
    count = 0;
    capacity = capacity_step;
  }

  void add(Hook h) {
    if (count == capacity) {
      auto* grown = static_cast<Hook*>(alloc((capacity + capacity_step) * sizeof(Hook)));
      if (count) std::memcpy(grown, entries, count * sizeof(Hook));
      free(entries);
      entries = grown;
      capacity += capacity_step;
    }
    entries[count++] = h;
  }

  void remove(Hook h) {
    for (size_t i = 0; i < count; ++i) {
      if (entries[i] != h) continue;
      std::memmove(entries + i, entries + i + 1, (count - i - 1) * sizeof(Hook));
      --count;
      return;
    }
  }
};

hook_list<print_hook> print_hooks;
hook_list<write_hook> write_hooks;

void (*bracket_before)() = nullptr;
void (*bracket_after)() = nullptr;

}  // namespace

void init_output_hooks() {
  print_hooks.reset();
  write_hooks.reset();
  print_hooks.add(print_string_by_unit);
}

void add_output_hooks(print_hook print, write_hook write) {
  if (print) print_hooks.add(print);
  if (write) write_hooks.add(write);
}

void remove_output_hooks(print_hook print, write_hook write) {
  if (print) print_hooks.remove(print);
  if (write) write_hooks.remove(write);
}

void call_print_hooks(const unit_text& text, bool line_end) {
  for (size_t i = 0; i < print_hooks.count; ++i) print_hooks.entries[i](text, line_end);
}

void call_write_hooks(const char* data, size_t length, uint32_t extra) {
  for (size_t i = 0; i < write_hooks.count; ++i) write_hooks.entries[i](data, length, extra);
}

void print_string_by_unit(const unit_text& text, bool line_end) {
  terminal_before_print();
  if (text.unit == 1 || text.unit == 2 || text.unit == 4)
    write_units(text.data, text.bytes, text.unit, line_end);
  else
    print_line({item::text("Error: unknown string encoding: "),
                item::integer(static_cast<int32_t>(text.unit))});
  std::fflush(nullptr);
  terminal_after_print();
}

hook_list_size print_hooks_size() { return {print_hooks.count, print_hooks.capacity}; }
hook_list_size write_hooks_size() { return {write_hooks.count, write_hooks.capacity}; }

void set_terminal_print_bracket(void (*before)(), void (*after)()) {
  bracket_before = before;
  bracket_after = after;
}

void terminal_before_print() {
  if (bracket_before) bracket_before();
}

void terminal_after_print() {
  if (bracket_after) bracket_after();
}

}  // namespace kaz::sysrt

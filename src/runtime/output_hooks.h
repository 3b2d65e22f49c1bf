// Output hooks: the print hooks that `print` and `prin` hand every formed string to, and the
// write hooks that the low-level writers call after each write.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kaz::sysrt {

/*
 * The text a print hook receives: a string's units from its index to its tail, `unit` bytes
 * each (1 Latin-1, 2 UCS-2, 4 UCS-4). The caller that holds a string! value takes the view from
 * its buffer just before the call; a hook must not keep it past its return, nor run code that
 * can move the buffer while it reads.
 */
struct unit_text {
  const void* data;
  size_t bytes;
  uint32_t unit;
};

// A print hook takes the text and the line-end flag (set for `print`, clear for `prin`).
using print_hook = void (*)(const unit_text& text, bool line_end);

// A write hook takes the bytes just written, their length and a word that every writer passes 0.
using write_hook = void (*)(const char* data, size_t length, uint32_t extra);

// Empties both lists and makes the default printer the first print hook.
void init_output_hooks();

// Appends each non-null hook to its list (the same hook may be added twice).
void add_output_hooks(print_hook print, write_hook write);

// Removes the first entry equal to each non-null hook; a hook not listed changes nothing.
void remove_output_hooks(print_hook print, write_hook write);

// Calls every hook of a list in order of registration.
void call_print_hooks(const unit_text& text, bool line_end);
void call_write_hooks(const char* data, size_t length, uint32_t extra);

// The default print hook: writes the text in its unit width, with a line end when asked.
void print_string_by_unit(const unit_text& text, bool line_end);

// Count and capacity of a hook list (capacity starts at 5 and grows by 5).
struct hook_list_size {
  size_t count;
  size_t capacity;
};
hook_list_size print_hooks_size();
hook_list_size write_hooks_size();

// The terminal GUI back-end's calls around every print, so that text printed while a terminal
// window is shown does not corrupt it; none until the back-end sets them.
void set_terminal_print_bracket(void (*before)(), void (*after)());
void terminal_before_print();
void terminal_after_print();

}  // namespace kaz::sysrt

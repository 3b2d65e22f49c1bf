// What the console's C++ code needs from the language side: the fields of the system object and
// of system/console, printing values as `print` does, and calling the console's Kaz functions.
#pragma once

#include <string>
#include <string_view>

#include "core/stack.h"
#include "runtime/cell.h"

namespace kaz::console {

// The field of an object value, or null when the value is no object or has no such field.
// The pointer is good until the next allocation. The `_rw` forms answer the field to write.
const cell* object_field(const cell* object, std::string_view name);
cell* object_field_rw(const cell* object, std::string_view name);

// A field of the system object (`system/<name>`), of one of its objects
// (`system/<outer>/<name>`), or null.
const cell* system_field(std::string_view name);
cell* system_field_rw(std::string_view name);
const cell* system_field(std::string_view outer, std::string_view name);
cell* system_field_rw(std::string_view outer, std::string_view name);

// A field of system/console, or null.
inline const cell* console_field(std::string_view name) { return system_field("console", name); }
inline cell* console_field_rw(std::string_view name) { return system_field_rw("console", name); }

// Prints a value formed (a string as it stands) with a line end, through the print hooks.
void print_value(const cell* value);
void print_text(std::string_view utf8);

// Evaluates Kaz source (a path naming a function, say) followed by the value as its argument
// when one is given; the result lands in `out`. Errors travel as language errors.
[[nodiscard]] flow call_with_value(std::string_view source, const cell* argument, cell* out);

// Whether the value is the word of that spelling (letter case ignored).
bool is_word(const cell* value, std::string_view spelling);

// Reads a whole file's bytes; false when it cannot be opened or read.
bool read_file_bytes(const std::string& path, std::string& out);

// Ends the process with the status, as quit does.
[[noreturn]] void exit_with(int status);

}  // namespace kaz::console

// The clipboard. A terminal gives a program no clipboard it can read back, so this is a store of
// our own, kept for the life of the process: text, or a list of files. Text written is also
// offered to the terminal as an OSC 52 "set clipboard" sequence when standard output is one, so
// terminals that allow it put it on the system clipboard too.
#pragma once

#include "datatypes/cell.h"

namespace kaz::clipboard {

// What the clipboard holds into `out`: a string!, a block! of file!, or none when it is empty.
void read(cell* out);

// Replaces the contents with a string!, a block! of file! or string! (the files' names) or
// nothing (none!). Answers false when the value cannot be held (an image!, a name holding a NUL),
// and the clipboard is then left as it was. Any other value, or a block element that is not a
// file! or string!, raises invalid-arg.
bool write(const cell* value);

}  // namespace kaz::clipboard

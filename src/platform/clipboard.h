// The clipboard. With a desktop display and its command-line tools on PATH (wl-copy and
// wl-paste, or xclip) it is the desktop's clipboard, reached through them. Otherwise a terminal
// gives a program no clipboard it can read back, so it is a store of our own, kept for the life
// of the process: text, a list of files or an image; text written there is also offered to the
// terminal as an OSC 52 "set clipboard" sequence when standard output is one, so terminals
// that allow it put it on the system clipboard too.
#pragma once

#include "runtime/cell.h"

namespace kaz::clipboard {

// What the clipboard holds into `out`: a string!, a block! of file!, an image!, or none when it
// is empty; false when the desktop's clipboard cannot be read (a tool failed or did not answer
// in time). Image data that does not decode raises access bad-media.
void read(cell* out);

// Replaces the contents with a string!, a block! of file! or string! (the files' names), an
// image! (as PNG data; one of 0 pixels empties it) or nothing (none!). Answers false when the
// value cannot be held (a name holding a NUL, an image that does not encode)
// or the desktop's tool did not take it; the clipboard is then left as it was, as far as this
// process can tell. Any other value, or a block element that is not a file! or string!, raises
// invalid-arg.
bool write(const cell* value);

}  // namespace kaz::clipboard

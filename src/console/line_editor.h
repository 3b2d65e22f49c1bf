// The line editor: reads one line for `ask`. On a terminal it edits the line in place (cursor
// keys, history, completion, hidden input, lines wrapped over several rows); with redirected
// input it reads a UTF-8 line with no prompt and no echo.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::terminal {

// Notes whether the editor can run (standard input and output are a terminal) and, when it
// can, reads the window size into system/console/size.
void init();

// The field system/console/size, or null when there is no such field yet (the `_rw` form
// answers it to write).
const cell* console_size_field();
cell* console_size_field_rw();

// Makes the line kept between edits (after a completion that listed candidates).
void init_globals();

// Binds the line (a string! whose index is the cursor) and the history block (newest first),
// then enters line mode.
void setup(const cell* line, const cell* history);

// Reads the line: the editor on a terminal (prompt shown, `hidden` echoes "*"), else one line
// of redirected input. Answers false when redirected input had already ended: nothing was read.
bool edit(const cell* prompt, bool hidden);

// Whether the last line read was the "q" that Ctrl-C, Ctrl-D on an empty line or an interrupt
// gives; taking it clears it.
bool take_quit_key();

// Appends characters of standard input, decoded from UTF-8, to the string up to a line feed
// (not kept) or the end of input; a carriage return stays. Answers false when the input ended
// before any character.
bool stdin_readline(cell* line);

}  // namespace kaz::terminal

// The console engine's C++ entries: the command line, running a script, taking entered lines
// and printing results. They work on the fields of system/console.
#pragma once

#include "runtime/cell.h"

namespace kaz::console {

// read-argument: processes the command line; answers the script's text, or none.
void read_argument(cell* a);
// launch: runs the script of the command line, or the prompt loop.
void launch_engine(cell* a);
// eval-command line: takes one entered line.
void eval_command(cell* a);
// do-command: loads, evaluates and prints the buffer.
void do_command(cell* a);
// _transcode-trace text callback: loads the text with the trace callback; a throw that leaves
// the callback ends the scan and its value is the answer (a load error answers the word stop).
void transcode_trace(cell* a);
// _fill-options: the command line and the directories of system/options and system/script,
// where start-up left them none.
void fill_options(cell* a);

}  // namespace kaz::console

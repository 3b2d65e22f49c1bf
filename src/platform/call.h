// The body of the native call: a command run as a child process, its standard streams taken
// from and given to Kaz values or files, its exit code or process id answered.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kaz::os {

struct call_request {
  const cell* command = nullptr;  // string! or file!
  bool wait = false;
  bool show = false;     // a window of its own: nothing to show in a terminal
  bool console = false;  // the child shares this process's terminal streams
  bool shell = false;    // run through /bin/sh -c
  const cell* input = nullptr;   // string!, binary! or file!, or null
  cell* output = nullptr;        // string!, binary! or file!, or null
  cell* error = nullptr;
};

/*
 * Runs the command. With /wait, /console or any redirection the child is waited for and its
 * exit code answered (128 + the signal number when a signal ended it), else its process id at
 * once. An empty command answers 0 and runs nothing; -1 when the program cannot be started at
 * all or the input file cannot be opened. Captured output is inserted at the targets' heads.
 * A stream neither redirected nor given to the console (/console) is /dev/null.
 * Ctrl-C while waiting reaches the child and leaves the interrupt pending, so the evaluation
 * halts. A capture beyond the largest series raises internal no-memory.
 */
int32_t call(const call_request& r);

}  // namespace kaz::os

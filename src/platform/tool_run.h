// Running a small helper program found on PATH (the clipboard tools): its input through a
// pipe, its output collected, bounded in time and size, the child always reaped.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kaz::tool_run {

enum class result {
  done,     // ran to the end and exited with status 0
  refused,  // ran to the end and exited with another status
  failed,   // could not start, was killed by a signal, ran past the time limit or the size cap
};

// Whether an executable file of that name is in one of PATH's directories.
bool on_path(std::string_view name);

/*
 * Runs argv[0] (looked up on PATH, no shell) with `input` on its standard input and its
 * standard error thrown away. Its standard output goes into `output` when that is given (at
 * most `output_cap` bytes; more is a failure), otherwise it is thrown away too, so a tool that
 * leaves a process behind to serve what it was given is not waited for through the pipe. A tool
 * still running after `limit_ms` is killed with its process group. SIGPIPE from a tool that
 * stops reading never reaches the process.
 */
result run(const std::vector<std::string>& argv, std::string_view input, std::string* output,
           int limit_ms, size_t output_cap);

}  // namespace kaz::tool_run

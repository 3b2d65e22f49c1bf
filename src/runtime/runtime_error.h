// Runtime errors: the numbered reports of failures nothing may survive, and the exit paths.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kaz::sysrt {

// Runtime error numbers; they are also the process exit codes.
namespace rterr {
enum : uint32_t {
#define RUNTIME_ERROR(n, cname, message) cname = n,
#include "runtime/runtime_errors.def"
#undef RUNTIME_ERROR
};
}  // namespace rterr

// The report message of an error number; "unknown error code!" for numbers not in the table.
const char* runtime_error_message(uint32_t n);

// The address of a function, for reports.
template <class F>
uintptr_t code_address(F* f) {
  return reinterpret_cast<uintptr_t>(f);
}

// The code address the current function returns to: the site that called it.
#define KAZ_ERROR_SITE() reinterpret_cast<uintptr_t>(__builtin_return_address(0))

// A code address as reports show it: its offset from the executable's load address, in 32 bits.
uint32_t report_address(uintptr_t address);

// Writes the report of error n at `address` into buf (room for 160 bytes is enough) and answers
// its length: "\n*** Runtime Error n: message\n*** at: XXXXXXXXh\n". Safe in a signal handler.
size_t format_runtime_error_report(char* buf, size_t room, uint32_t n, uintptr_t address);

// Frees every tracked block and runs the restore hooks: the runtime's part of every exit path.
void on_exit();

/*
 * Restore hooks put back what the process changed outside itself (a terminal left in raw mode)
 * and run on every exit path: on_exit, and the fault and interrupt handlers. They may run in a
 * signal handler, so they must be async-signal-safe. At most four; a hook added twice runs once.
 */
using restore_hook = void (*)();
void add_restore_hook(restore_hook hook);
void run_restore_hooks();  // safe in a signal handler

// Ends the process with exit code n. For n other than 0 it first prints the runtime error report
// on standard output; in every case the tracked blocks are freed before the process ends.
[[noreturn]] void quit_with_code(uint32_t n, uintptr_t address);

// Impossible branches: runtime errors 100 and 101, reported at the caller's site.
[[noreturn]] void no_case_matched();
[[noreturn]] void no_switch_matched();

}  // namespace kaz::sysrt

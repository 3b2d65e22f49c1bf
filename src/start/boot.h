// Start-up: the entry point and the fixed order in which the runtime is built.
#pragma once

#include <cstdint>

namespace kaz::boot {

// Runs the program: builds the runtime, runs the library and the console, and ends the
// process with its exit code. Never returns.
[[noreturn]] int main(int argc, char** argv);

// Builds the whole language runtime, in its fixed order; called once, by main.
void init_runtime();

// Frees all memory of the runtime (the exit paths free only the tracked blocks).
void cleanup_runtime();

// The library's top level: the built-in words, the collector switched on, the library's files
// evaluated in order (after init_runtime).
void run_library();

// Non-zero while start-up makes the values that must keep their cells for the whole run: the
// word and issue constructors then append what they make to the root block.
extern uint32_t booting_q;

}  // namespace kaz::boot

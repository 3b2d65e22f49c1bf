// Start-up: the entry point and the fixed order in which the runtime is built.
#pragma once

namespace kaz::boot {

// Runs the program: builds the runtime, runs the library and the console, and ends the
// process with its exit code. Never returns.
[[noreturn]] int main(int argc, char** argv);

}  // namespace kaz::boot

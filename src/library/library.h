// The library's top level: the Kaz source files built into the executable, evaluated in order
// at start-up after the runtime exists.
#pragma once

namespace kaz::library {

// Defines `make` (every later definition uses it), then loads and evaluates every library file
// in name order, then the console's files (src/console/) in name order, and seals the library.
// An error raised here is printed and ends the process (exit code -2).
void run_top_level();

}  // namespace kaz::library

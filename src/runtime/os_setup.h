// The operating-system layer's set-up: the first thing start-up does, and the platform start
// inside the runtime's initialisation.
#pragma once

namespace kaz::sysrt {

// Fault handlers, then the command-line arguments.
void init_os(int argc, char** argv);

// Copies the arguments into the runtime record as tracked UTF-8 strings (the system passes
// them as bytes, taken as they are), ended by a null entry.
void init_args(int argc, char** argv);

// The platform start: console output.
void init_platform();

}  // namespace kaz::sysrt

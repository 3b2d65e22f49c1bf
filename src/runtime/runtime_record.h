// The runtime's one global record: what start-up, the exit paths and the OS layer share.
#pragma once

#include <cstdint>

namespace kaz::sysrt {

struct tracked_block;

// The list of tracked blocks, in allocation order; both ends null when empty.
struct tracked_list {
  tracked_block* head;
  tracked_block* tail;
};

struct runtime_record {
  int argc;                 // number of command-line arguments, the program name included
  char** argv;              // tracked array of tracked UTF-8 strings, ended by a null entry
  const void* boot_data;    // the built-in boot image, once there is one
  uintptr_t load_address;   // where the executable is mapped; report addresses count from it
  tracked_list tracked;     // every block of the tracked allocator still alive
};

extern runtime_record runtime;

}  // namespace kaz::sysrt

// Kaz source files built into the executable (library, view, console).
#pragma once

#include <cstddef>

namespace kaz {

// One embedded file: its path under the source tree and its bytes.
struct embedded_file {
  const char* path;
  const char* text;
  std::size_t length;
};

// Every embedded file in path order, ended by an entry whose path is null.
extern const embedded_file embedded_files[];

}  // namespace kaz

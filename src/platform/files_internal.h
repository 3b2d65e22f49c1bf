// What the parts of the file layer share.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "core/symbol.h"
#include "runtime/cell.h"

namespace kaz::files {

// A file descriptor closed when the scope ends, on every path out (errors included).
struct fd_holder {
  int fd;
  explicit fd_holder(int f) : fd(f) {}
  fd_holder(const fd_holder&) = delete;
  fd_holder& operator=(const fd_holder&) = delete;
  ~fd_holder() {
    if (fd >= 0) ::close(fd);
  }
};

// The count of a /part or /seek value (absent: -1); a value that is not an integer! raises
// script invalid-refine-arg with the refinement of that symbol and the value.
int64_t refinement_count(const cell* value, uint32_t symbol);

inline uint32_t symbol_seek() { return symbol::make("seek"); }

// Raises internal no-memory for data too large for one series.
void check_size(uint64_t bytes);

// Reads up to n bytes, retrying short reads; answers the bytes read (fewer at the end of the
// file) or -1 on a failure.
int64_t read_fully(int fd, uint8_t* to, size_t n);

}  // namespace kaz::files

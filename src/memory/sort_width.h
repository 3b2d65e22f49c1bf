// Records of a width fixed at compile time or known only at run time, for the sorts' inner
// loops: a record of one cell or one text unit moves with a load and a store, not a loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "memory/sort.h"

namespace kaz::sort {

// W bytes per record, or (W == 0) the run-time width w.
template <size_t W>
struct record_width {
  static constexpr size_t fixed = W;
  size_t w;

  size_t bytes() const { return W ? W : w; }

  // Both records go through locals, so a record swapped with itself stays as it is.
  void swap(uint8_t* x, uint8_t* y) const {
    if constexpr (W == 0) {
      swap_records(x, y, w);
    } else {
      uint8_t a[W], b[W];
      std::memcpy(a, x, W);
      std::memcpy(b, y, W);
      std::memcpy(x, b, W);
      std::memcpy(y, a, W);
    }
  }

  // One record to another place; the two never overlap.
  void copy(uint8_t* to, const uint8_t* from) const { std::memcpy(to, from, bytes()); }
};

// Calls run(record_width<W>{w}) with W = w for the widths sorts meet most (text units of 1, 2
// and 4 bytes, 8-byte numbers, one cell), else with W = 0.
template <class Run>
void with_record_width(size_t w, Run run) {
  switch (w) {
    case 1: return run(record_width<1>{w});
    case 2: return run(record_width<2>{w});
    case 4: return run(record_width<4>{w});
    case 8: return run(record_width<8>{w});
    case 16: return run(record_width<16>{w});
    default: return run(record_width<0>{w});
  }
}

}  // namespace kaz::sort
